// The error box and its one-at-a-time rule.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorBox.h"

#include "ErrorTexts.h"
#include "StringTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <mutex>
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

struct SaveFailureBoxes::State {
    QPointer<QWidget> owner;
    bool hasOwner = false; // a window that is gone gets no box in its place
    QObject context;       // on the user-interface thread; queued calls die with it
    std::mutex mutex;      // the sentences may come from another thread
    std::deque<QString> pending;

    void show()
    {
        // Without a widget application there is no box to show; standard error has had the sentence.
        if (!g_presenter && !qobject_cast<QApplication*>(QCoreApplication::instance())) {
            std::lock_guard lock(mutex);
            pending.clear();
            return;
        }
        for (;;) {
            if (isErrorBoxOpen()) {
                // Told after the box that is open, not dropped: the user would never hear of it again.
                QTimer::singleShot(200, &context, [this] { show(); });
                return;
            }
            QString text;
            {
                std::lock_guard lock(mutex);
                if (pending.empty())
                    return;
                text = std::move(pending.front());
                pending.pop_front();
            }
            if (hasOwner && !owner)
                continue;
            showErrorText(owner, text);
        }
    }
};

SaveFailureBoxes::SaveFailureBoxes(QWidget* owner) : m_state(std::make_shared<State>())
{
    m_state->owner = owner;
    m_state->hasOwner = owner != nullptr;
    m_previous = setSaveFailureListener([weak = std::weak_ptr<State>(m_state)](SaveTarget, const std::string& sentence) {
        const std::shared_ptr<State> state = weak.lock();
        if (!state)
            return;
        {
            std::lock_guard lock(state->mutex);
            state->pending.push_back(QString::fromStdString(sentence));
        }
        if (QCoreApplication::instance())
            QMetaObject::invokeMethod(
                &state->context, [raw = state.get()] { raw->show(); }, Qt::QueuedConnection);
    });
}

SaveFailureBoxes::~SaveFailureBoxes()
{
    setSaveFailureListener(std::move(m_previous));
}

void SaveFailureBoxes::showPending()
{
    m_state->show();
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
