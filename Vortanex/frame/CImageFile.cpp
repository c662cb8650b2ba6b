#include "frame/CImageFile.h"

#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>

void CImageFile::Reset()
{
    m_image = QImage();
    m_nState = 2;
    m_dTargetWidth = m_dTargetHeight = m_dImageWidth = m_dImageHeight = m_dRatio = 0;
}

bool CImageFile::Load(const std::string& path)
{
    Reset();
    QImageReader reader(QString::fromStdString(path));
    QImage image = reader.read();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return false;
    m_image = std::move(image);
    m_nState = 0;
    m_dImageWidth = m_image.width();
    m_dImageHeight = m_image.height();
    m_dRatio = m_dImageHeight / m_dImageWidth;
    return true;
}

bool CImageFile::TargetSize(double e, double& width, double& height) const
{
    // A zero side would divide by zero; such an image has nothing to scale.
    if (!IsLoaded() || m_dImageWidth <= 0 || m_dImageHeight <= 0 || e <= 0)
        return false;
    const double c = m_dImageWidth * std::min(e / m_dImageWidth, e / m_dImageHeight);
    width = c;
    height = m_dRatio * c;
    if (e > c) {
        width = e;
        height = m_dRatio * e;
    }
    return true;
}

bool CImageFile::SaveAsJpeg(const std::string& path, std::string_view type, double e)
{
    if (path.empty() || type.empty() || !IsLoaded())
        return false;
    const std::string encoder = type == "JPG" || type == "JPE" ? std::string("JPEG") : std::string(type);
    if (type == "ICO")
        return false;
    double w = 0, h = 0;
    if (!TargetSize(e, w, h))
        return false;
    m_dTargetWidth = w;
    m_dTargetHeight = h;
    const QByteArray format = QByteArray::fromStdString(encoder).toLower();
    if (!QImageWriter::supportedImageFormats().contains(format))
        return false;
    // Fractions are cut, as the bitmap takes whole pixels.
    const int iw = int(w), ih = int(h);
    if (iw < 1 || ih < 1)
        return false;
    QImage out(iw, ih, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    {
        QPainter p(&out);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(0, 0, iw, ih), m_image);
    }
    QImageWriter writer(QString::fromStdString(path), format);
    if (format == "jpeg")
        out = out.convertToFormat(QImage::Format_RGB32);
    return writer.write(out);
}
