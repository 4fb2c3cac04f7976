// Image holders: one owned picture, and one loaded from the program's PNG resources by resource number.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

#include <functional>
#include <vector>

class QPainter;
class QPoint;
class QRect;

class CImageEx {
public:
    CImageEx() = default;
    CImageEx(const CImageEx&) = delete;
    CImageEx& operator=(const CImageEx&) = delete;
    virtual ~CImageEx();

    // The picture, or nullptr while none is held; drawing code skips an empty holder. A picture whose
    // decoding was put off is decoded here, the first time anything asks.
    const QImage* image() const
    {
        settle();
        return m_image.isNull() ? nullptr : &m_image;
    }
    bool isEmpty() const
    {
        settle();
        return m_image.isNull();
    }
    void release()
    {
        m_decodeLater = nullptr;
        m_image = QImage();
    }
    // Device pixels per logical pixel of the held picture: 2 for an @2x twin, otherwise 1.
    qreal scale() const
    {
        settle();
        return m_image.isNull() ? 1.0 : m_image.devicePixelRatio();
    }

protected:
    // Kept premultiplied so every later draw is a plain copy or blend with no conversion.
    void assign(const QImage& image);
    // Holds what `decode` gives, but only calls it when the picture is first asked for.
    void assignLater(std::function<QImage()> decode);

private:
    void settle() const
    {
        if (m_decodeLater)
            decodeNow();
    }
    void decodeNow() const;

    mutable QImage m_image;
    mutable std::function<QImage()> m_decodeLater;
};

class CImageExResource : public CImageEx {
public:
    // Loads ":/images/<id>.png", or its twin ":/images/<id>@2x.png" when the application's screens have a device
    // pixel ratio of 1.5 or more. The old picture is dropped first, so a failed load leaves the holder empty.
    bool load(int id);
    // The same for a given device pixel ratio: from 1.5 up the @2x twin is taken, with a device pixel ratio of 2,
    // and the 1x picture stands in for a missing twin. Decoded pictures are shared by every holder of the same
    // (id, scale), so the pages' many copies of their page picture cost one decode and one bitmap.
    bool load(int id, qreal devicePixelRatio);
    // load(id, devicePixelRatio) with the decoding put off until the picture is first drawn or asked for, so a
    // page that is never shown never decodes its pictures. The screens' ratio is taken now, as load takes it. A
    // picture that cannot be read leaves the holder empty when it is asked for, as a failed load does.
    void loadWhenNeeded(int id, qreal devicePixelRatio);
    void loadWhenNeeded(int id) { loadWhenNeeded(id, applicationDevicePixelRatio()); }
    // Same contract for PNG bytes that did not come from the resources.
    bool loadFromData(const QByteArray& png);
    // For pictures built in memory (tests, generated art); a null image empties the holder and fails.
    bool loadFromImage(const QImage& image);

    static QString resourcePath(int id);
    static QString resourcePath(int id, int scale);
    // The scale load(id) picks: 2 from a device pixel ratio of 1.5, else 1.
    static int scaleFor(qreal devicePixelRatio);
    static qreal applicationDevicePixelRatio();
    // Whether the picture of this id at this scale (1 or 2) has been decoded by any holder of the process.
    static bool isDecoded(int id, int scale);
    // Starts decoding these pictures, in this order, on one thread of the picture cache, so that a window's first
    // paint finds them ready. A holder asking for one that is being decoded waits for it; one still queued it
    // decodes itself.
    static void decodeAhead(const std::vector<int>& ids, int scale);
    // Decodes on the calling thread the pictures still queued by decodeAhead, beside the pool's own work.
    static void decodeQueuedHere();

private:
    // The shared decode of (id, scale); a null image when neither the twin nor the 1x picture can be read.
    static QImage sharedPicture(int id, int scale);
};

// Draws the part `source` of a picture, given in the picture's logical pixels, with its top left at `target` in the
// painter's logical coordinates. An @2x picture is cut in its own device pixels, so each frame comes out at full
// resolution on a HiDPI surface; a 1x picture is drawn exactly as a plain drawImage would.
void drawImagePart(QPainter& painter, const QPoint& target, const QImage& picture, const QRect& source);
