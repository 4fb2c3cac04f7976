// The About box.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CAboutDlg.h"

#include "AppIcon.h"
#include "StringTable.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace orx {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromStdString(loadString(kStringAppTitle)));
    auto* icon = new QLabel(this);
    icon->setPixmap(appIcon().pixmap(32, 32));
    auto* text = new QLabel(QString::fromUtf8(kVersionText), this);
    text->setObjectName(QStringLiteral("versionText"));
    auto* licence = new QLabel(QStringLiteral("Free software under the GNU General Public License, version 3 or later\n"
                                              "(GPL-3.0-or-later). There is NO WARRANTY."),
                               this);
    licence->setObjectName(QStringLiteral("licenceText"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row);
    column->addWidget(licence);
    column->addWidget(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace orx
