// The application icon: the picture from the program's resources, or a drawn badge when it has none.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppIcon.h"

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace orx {

QIcon appIcon()
{
    if (QFile::exists(QStringLiteral(":/images/icon.png")))
        return QIcon(QStringLiteral(":/images/icon.png"));
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
