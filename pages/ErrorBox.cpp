// The error box and its one-at-a-time rule.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorBox.h"

#include "ErrorTexts.h"
#include "StringTable.h"

#include <QMessageBox>

#include <utility>

namespace orx {

namespace {

ErrorBoxPresenter g_presenter;
bool g_boxOpen = false;

void platformBox(QWidget* owner, const QString& caption, const QString& text, const QString& informative)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    if (!informative.isEmpty())
        box.setInformativeText(informative);
    box.exec();
}

} // namespace

ErrorBoxPresenter setErrorBoxPresenter(ErrorBoxPresenter presenter)
{
    return std::exchange(g_presenter, std::move(presenter));
}

bool isErrorBoxOpen()
{
    return g_boxOpen;
}
void setErrorBoxOpen(bool open)
{
    g_boxOpen = open;
}

void showErrorText(QWidget* owner, const QString& text, const QString& informative)
{
    // A second error while a box is open is dropped, not queued.
    if (g_boxOpen)
        return;
    g_boxOpen = true;
    const QString caption = QString::fromStdString(loadString(kStringAppTitle));
    if (g_presenter)
        g_presenter(owner, caption, text, informative);
    else
        platformBox(owner, caption, text, informative);
    g_boxOpen = false;
}

void showErrorMessage(QWidget* owner, int code)
{
    showErrorText(owner, QString::fromStdString(mstd::errorMessage(code)));
}

void showErrorMessage(QWidget* owner, int code, const QString& informative)
{
    showErrorText(owner, QString::fromStdString(mstd::errorMessage(code)), informative);
}

} // namespace orx
