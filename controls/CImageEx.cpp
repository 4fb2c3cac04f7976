// Image holders: one owned picture, and one loaded from the program's PNG resources by resource number.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CImageEx.h"

#include "StoredPng.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QRect>
#include <QResource>
#include <QThreadPool>
#include <QWaitCondition>

#include <map>
#include <utility>
#include <vector>

namespace {

// The pictures of the process by (id, scale). Successful decodes only: a picture that failed once is read again
// next time, as it always was. A picture can be queued to be decoded ahead on the cache's own thread; whoever asks
// for it first (that thread or a holder) decodes it, and anyone else asking meanwhile waits for that one decode.
class DecodedPictures {
public:
    using Key = std::pair<int, int>;

    // One thread: the window being built meanwhile keeps the other core.
    DecodedPictures() { m_pool.setMaxThreadCount(1); }
    void startAhead(std::function<void()> decode) { m_pool.start(std::move(decode)); }

    bool find(const Key& key, QImage* out)
    {
        QMutexLocker lock(&m_mutex);
        const auto it = m_pictures.find(key);
        if (it == m_pictures.end() || it->second.state != State::Done)
            return false;
        if (out != nullptr)
            *out = it->second.image;
        return true;
    }
    // The keys that were neither known nor queued are queued and returned, for the caller to start.
    std::vector<Key> queue(const std::vector<Key>& keys)
    {
        QMutexLocker lock(&m_mutex);
        std::vector<Key> added;
        for (const Key& key : keys) {
            if (m_pictures.emplace(key, Entry{State::Queued, QImage()}).second)
                added.push_back(key);
        }
        return added;
    }
    // True when the caller is to decode the picture now; `found` holds it when it already was.
    bool claim(const Key& key, bool wait, QImage* found)
    {
        QMutexLocker lock(&m_mutex);
        for (;;) {
            const auto it = m_pictures.find(key);
            if (it == m_pictures.end()) {
                m_pictures.emplace(key, Entry{State::Decoding, QImage()});
                return true;
            }
            switch (it->second.state) {
            case State::Done:
                *found = it->second.image;
                return false;
            case State::Queued:
                it->second.state = State::Decoding;
                return true;
            case State::Decoding:
                if (!wait)
                    return false;
                m_settled.wait(&m_mutex);
                break;
            }
        }
    }
    std::vector<Key> queued()
    {
        QMutexLocker lock(&m_mutex);
        std::vector<Key> keys;
        for (const auto& [key, entry] : m_pictures) {
            if (entry.state == State::Queued)
                keys.push_back(key);
        }
        return keys;
    }
    void settle(const Key& key, const QImage& image)
    {
        QMutexLocker lock(&m_mutex);
        if (image.isNull())
            m_pictures.erase(key);
        else
            m_pictures[key] = Entry{State::Done, image};
        m_settled.wakeAll();
    }

private:
    enum class State { Queued, Decoding, Done };
    struct Entry {
        State state;
        QImage image;
    };
    QMutex m_mutex;
    QWaitCondition m_settled;
    std::map<Key, Entry> m_pictures;
    // Last, so that it is waited for before the pictures go.
    QThreadPool m_pool;
};

DecodedPictures& decodedPictures()
{
    static DecodedPictures pictures;
    return pictures;
}

// The twin first; a missing or unreadable one leaves the 1x picture to stand in at its own scale.
QImage decodeResource(int id, int scale)
{
    QImage picture;
    for (int s = scale; s >= 1 && picture.isNull(); s /= 2) {
        // The resource's bytes as they are: a compressed resource is unpacked once, not copied again by a QFile.
        const QResource resource(CImageExResource::resourcePath(id, s));
        if (!resource.isValid())
            continue;
        QByteArray png = resource.uncompressedData();
        picture = orx::readStoredPng(png); // premultiplied already
        if (picture.isNull() && !png.isEmpty()) {
            QBuffer buffer(&png);
            buffer.open(QIODevice::ReadOnly);
            // Only the PNG reader: guessing the format would load every image format plug-in at the first picture.
            QImageReader reader(&buffer, "PNG");
            reader.setAutoDetectImageFormat(false);
            picture = reader.read();
            // In place: an opaque picture only changes its label, a copy would cost as much as the decode itself.
            if (!picture.isNull())
                picture.convertTo(QImage::Format_ARGB32_Premultiplied);
        }
        if (!picture.isNull())
            picture.setDevicePixelRatio(s);
    }
    return picture;
}

// The picture from the cache, decoded here when no one has yet. One being decoded elsewhere is waited for when
// `wait`, else left to that decode (a null image comes back).
QImage decodeShared(const DecodedPictures::Key& key, bool wait)
{
    QImage picture;
    if (!decodedPictures().claim(key, wait, &picture))
        return picture;
    picture = decodeResource(key.first, key.second);
    decodedPictures().settle(key, picture);
    return picture;
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
    return decodedPictures().find({id, scale}, nullptr);
}

QImage CImageExResource::sharedPicture(int id, int scale)
{
    return decodeShared({id, scale}, true);
}

void CImageExResource::decodeQueuedHere()
{
    for (const DecodedPictures::Key& key : decodedPictures().queued())
        decodeShared(key, false);
}

void CImageExResource::decodeAhead(const std::vector<int>& ids, int scale)
{
    std::vector<DecodedPictures::Key> keys;
    for (int id : ids)
        keys.emplace_back(id, scale);
    for (const DecodedPictures::Key& key : decodedPictures().queue(keys)) {
        decodedPictures().startAhead([key] { decodeShared(key, false); });
    }
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
