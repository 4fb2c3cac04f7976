// Image holders: one owned picture, and one loaded from the program's PNG resources by resource number.
#pragma once

#include <QImage>

class CImageEx {
public:
    CImageEx() = default;
    CImageEx(const CImageEx&) = delete;
    CImageEx& operator=(const CImageEx&) = delete;
    virtual ~CImageEx();

    // The picture, or nullptr while none is held; drawing code skips an empty holder.
    const QImage* image() const { return m_image.isNull() ? nullptr : &m_image; }
    bool isEmpty() const { return m_image.isNull(); }
    void release() { m_image = QImage(); }

protected:
    // Kept premultiplied so every later draw is a plain copy or blend with no conversion.
    void assign(const QImage& image);

private:
    QImage m_image;
};

class CImageExResource : public CImageEx {
public:
    // Loads ":/images/<id>.png". The old picture is dropped first, so a failed load leaves the holder empty.
    bool load(int id);
    // Same contract for PNG bytes that did not come from the resources.
    bool loadFromData(const QByteArray& png);
    // For pictures built in memory (tests, generated art); a null image empties the holder and fails.
    bool loadFromImage(const QImage& image);

    static QString resourcePath(int id);
};
