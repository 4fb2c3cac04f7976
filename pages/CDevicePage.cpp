// The page base: fixed size, channel and event bookkeeping.
#include "CDevicePage.h"

#include "CCustomButton.h"

#include <QPainter>
#include <QPixmap>

CDevicePage::CDevicePage(QWidget* parent) : QWidget(parent)
{
    setFixedSize(kWidth, kHeight);
    // Pages paint their whole area themselves; nothing is erased under them.
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
}

void CDevicePage::setPageChannel(int modelCode, int ampCh)
{
    m_modelCode = modelCode;
    m_ampCh = ampCh;
}

void CDevicePage::onDeviceEvent(int event, int value)
{
    Q_EMIT deviceEventReceived(event, value);
}

CCustomButton* CDevicePage::setUpImageButton(CCustomButton* b, const ButtonLayout& layout, int pagePicture)
{
    const QRect rect = layout.strip.rect();
    const auto faces = orx::layout::faceOffsets(layout.strip, layout.looks);
    b->setObjectName(QString::number(layout.id));
    b->setGeometry(rect);
    b->faceImage().load(layout.strip.id);
    b->backgroundImage().load(pagePicture);
    b->setBackgroundRect(rect);
    b->setFrameSize(rect.size());
    for (int look = 0; look < CCustomButton::LookCount; ++look)
        b->setFaceOffset(static_cast<CCustomButton::Look>(look), QPoint(0, faces[static_cast<std::size_t>(look)]));
    b->setToggleFlag(layout.toggles);
    return b;
}

void CDevicePage::showAmpChannelLabel(CCustomButton* label)
{
    if (m_modelCode == 2) {
        label->setToggleState(m_ampCh == 0 ? 0 : 1);
        label->show();
    } else {
        label->hide();
    }
    update(label->geometry());
}

void CDevicePage::paintButton(QPainter& p, const CCustomButton* b)
{
    p.save();
    p.translate(b->pos());
    b->drawButton(p, b->itemState(), false);
    p.restore();
}

void CDevicePage::paintBuffered(const std::function<void(QPainter&)>& draw)
{
    QPixmap surface(size());
    surface.fill(Qt::black);
    {
        QPainter p(&surface);
        draw(p);
    }
    QPainter(this).drawPixmap(0, 0, surface);
}
