// The channel choice dialog and the default way of asking it.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CChannelDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <utility>

CChannelDlg::CChannelDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    // Without the system menu there is no close box either; the window title hint alone keeps the caption.
    setWindowTitle(QStringLiteral("Choose Priority Channel"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QString::number(kIcon));
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(iconSize, iconSize));

    auto* text = new QLabel(QStringLiteral("Which channel do you use ?"), this);

    auto* right = new QPushButton(QStringLiteral("R ch"), this);
    right->setObjectName(QString::number(kRightButton));
    m_left = new QPushButton(QStringLiteral("L ch"), this);
    m_left->setObjectName(QString::number(kLeftButton));
    connect(right, &QPushButton::clicked, this, [this] { choose(1); });
    connect(m_left, &QPushButton::clicked, this, [this] { choose(0); });

    auto* question = new QHBoxLayout;
    question->addWidget(icon);
    question->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(right);
    buttons->addWidget(m_left);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(question);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CChannelDlg::showEvent(QShowEvent* event)
{
    // Every run starts as a fresh one would: Return at once chooses the left channel, even if an earlier run of
    // this dialog left the focus, and with it the default, on "R ch".
    m_left->setDefault(true);
    m_left->setFocus();
    QDialog::showEvent(event);
}

void CChannelDlg::choose(int channel)
{
    m_channel = channel;
    accept();
}

namespace orx {

namespace {

ChannelQuestion g_question;

} // namespace

ChannelQuestion setChannelQuestion(ChannelQuestion question)
{
    return std::exchange(g_question, std::move(question));
}

int askChannel(QWidget* owner)
{
    if (g_question)
        return g_question(owner);
    // The run's result code says nothing; only the button pressed does.
    CChannelDlg dialog(owner);
    dialog.exec();
    return dialog.chosenChannel();
}

} // namespace orx
