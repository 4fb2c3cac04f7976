// The application icon: the picture from the program's resources, or a drawn badge when it has none.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppIcon.h"

#include <QFile>
#include <QFont>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <utility>

namespace orx {

namespace {

// Reads the icon's pictures only when something first asks for them: setting the window's icon then costs
// nothing while the window is being built, and a window system that never shows it never reads them.
class DeferredIconEngine final : public QIconEngine {
public:
    explicit DeferredIconEngine(QString path) : m_path(std::move(path)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    // Asked when the icon is set; the file is known to be there, so it is not read for that.
    bool isNull() override { return m_read && m_icon.isNull(); }
    QString key() const override { return QStringLiteral("orx-deferred"); }
    QIconEngine* clone() const override { return new DeferredIconEngine(m_path); }

private:
    const QIcon& icon()
    {
        if (!m_read) {
            m_icon = QIcon(m_path);
            m_read = true;
        }
        return m_icon;
    }

    QString m_path;
    QIcon m_icon;
    bool m_read = false;
};

} // namespace

QIcon appIcon()
{
    if (QFile::exists(QStringLiteral(":/images/icon.png")))
        return QIcon(new DeferredIconEngine(QStringLiteral(":/images/icon.png")));
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(24, 24, 24));
        painter.setPen(QPen(QColor(200, 150, 60), size / 16.0 + 0.5));
        painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
        QFont font;
        font.setBold(true);
        font.setPixelSize(size * 3 / 8);
        painter.setFont(font);
        painter.setPen(QColor(230, 180, 80));
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("ORX"));
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace orx
