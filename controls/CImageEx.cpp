// Image holders: one owned picture, and one loaded from the program's PNG resources by resource number.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CImageEx.h"

#include <QFile>
#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QRect>

#include <map>
#include <utility>

namespace {

// Successful decodes only: a picture that failed once is read again next time, as it always was.
class DecodedPictures {
public:
    bool find(int id, int scale, QImage* out)
    {
        QMutexLocker lock(&m_mutex);
        const auto it = m_pictures.find({id, scale});
        if (it == m_pictures.end())
            return false;
        if (out != nullptr)
            *out = it->second;
        return true;
    }
    void keep(int id, int scale, const QImage& image)
    {
        QMutexLocker lock(&m_mutex);
        m_pictures[{id, scale}] = image;
    }

private:
    QMutex m_mutex;
    std::map<std::pair<int, int>, QImage> m_pictures;
};

DecodedPictures& decodedPictures()
{
    static DecodedPictures pictures;
    return pictures;
}

} // namespace

CImageEx::~CImageEx() = default;

void CImageEx::assign(const QImage& image)
{
    m_decodeLater = nullptr;
    m_image = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void CImageEx::assignLater(std::function<QImage()> decode)
{
    m_image = QImage();
    m_decodeLater = std::move(decode);
}

void CImageEx::decodeNow() const
{
    // Taken out first: a decode that fails is not tried again at every paint.
    const std::function<QImage()> decode = std::move(m_decodeLater);
    m_decodeLater = nullptr;
    const QImage image = decode();
    m_image = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QString CImageExResource::resourcePath(int id)
{
    return QStringLiteral(":/images/%1.png").arg(id);
}

QString CImageExResource::resourcePath(int id, int scale)
{
    return scale == 1 ? resourcePath(id) : QStringLiteral(":/images/%1@%2x.png").arg(id).arg(scale);
}

int CImageExResource::scaleFor(qreal devicePixelRatio)
{
    return devicePixelRatio >= 1.5 ? 2 : 1;
}

qreal CImageExResource::applicationDevicePixelRatio()
{
    // The highest ratio of all screens: a window on the sharper screen must not show blurred pictures.
    return qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
}

bool CImageExResource::load(int id)
{
    return load(id, applicationDevicePixelRatio());
}

bool CImageExResource::load(int id, qreal devicePixelRatio)
{
    release();
    const QImage picture = sharedPicture(id, scaleFor(devicePixelRatio));
    if (picture.isNull())
        return false;
    assign(picture);
    return !isEmpty();
}

void CImageExResource::loadWhenNeeded(int id, qreal devicePixelRatio)
{
    release();
    assignLater([id, scale = scaleFor(devicePixelRatio)] { return sharedPicture(id, scale); });
}

bool CImageExResource::isDecoded(int id, int scale)
{
    return decodedPictures().find(id, scale, nullptr);
}

QImage CImageExResource::sharedPicture(int id, int scale)
{
    QImage picture;
    if (decodedPictures().find(id, scale, &picture))
        return picture;
    // The twin first; a missing or unreadable one leaves the 1x picture to stand in at its own scale.
    for (int s = scale; s >= 1 && picture.isNull(); s /= 2) {
        QFile file(resourcePath(id, s));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray png = file.readAll();
        if (png.isEmpty() || !picture.loadFromData(png, "PNG"))
            picture = QImage();
        else
            picture.setDevicePixelRatio(s);
    }
    if (picture.isNull())
        return picture;
    picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    decodedPictures().keep(id, scale, picture);
    return picture;
}

bool CImageExResource::loadFromData(const QByteArray& png)
{
    release();
    if (png.isEmpty())
        return false;
    QImage decoded;
    if (!decoded.loadFromData(png, "PNG"))
        return false;
    assign(decoded);
    return !isEmpty();
}

bool CImageExResource::loadFromImage(const QImage& image)
{
    release();
    assign(image);
    return !isEmpty();
}

void drawImagePart(QPainter& painter, const QPoint& target, const QImage& picture, const QRect& source)
{
    const qreal scale = picture.devicePixelRatio();
    if (scale == 1.0) {
        painter.drawImage(target, picture, source);
        return;
    }
    const QRectF device(source.x() * scale, source.y() * scale, source.width() * scale, source.height() * scale);
    painter.drawImage(QRectF(target, source.size()), picture, device);
}
