#pragma once
// An image loaded from a file, written back as a resized copy in a chosen
// format (the profile picture is kept as a small JPEG).
#include <QImage>

#include <string>
#include <string_view>

class CImageFile {
public:
    // Loads the image; false (and nothing loaded) when it cannot be read.
    bool Load(const std::string& path);
    void Reset();
    // Writes the image scaled by the target size e to path with the encoder
    // of type ("JPG" and "JPE" are "JPEG"; "ICO" is never written). False
    // when nothing was written.
    bool SaveAsJpeg(const std::string& path, std::string_view type, double e);

    // The size SaveAsJpeg writes for a target size, from the loaded image:
    // c = w * min(e/w, e/h), h' = ratio * c, and when e > c, w' = e and
    // h' = ratio * e. False when no image is loaded or a side is zero.
    bool TargetSize(double e, double& width, double& height) const;

    bool IsLoaded() const { return m_nState != 2; }
    double Width() const { return m_dImageWidth; }
    double Height() const { return m_dImageHeight; }

private:
    int m_nState = 2; // 2 = nothing loaded
    double m_dTargetWidth = 0;
    double m_dTargetHeight = 0;
    double m_dImageWidth = 0;
    double m_dImageHeight = 0;
    double m_dRatio = 0; // height / width
    QImage m_image;
};
