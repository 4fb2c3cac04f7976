// Image holders: one owned picture, and one loaded from the program's PNG resources by resource number.
#include "CImageEx.h"

#include <QFile>

CImageEx::~CImageEx() = default;

void CImageEx::assign(const QImage& image)
{
    m_image = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QString CImageExResource::resourcePath(int id)
{
    return QStringLiteral(":/images/%1.png").arg(id);
}

bool CImageExResource::load(int id)
{
    release();
    QFile file(resourcePath(id));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return loadFromData(file.readAll());
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
