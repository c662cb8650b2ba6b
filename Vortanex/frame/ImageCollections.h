#pragma once
// The shared toolbar image collections: each a strip of equally sized images
// from the program's resources, cut into its images once at start-up and
// handed to the frame and the views for their toolbars, menus and buttons.
#include <QIcon>
#include <QImage>
#include <QSize>

#include <vector>

class ImageCollection {
public:
    ImageCollection(int resourceId, QSize imageSize, std::vector<QImage> images)
        : m_id(resourceId), m_size(imageSize), m_images(std::move(images))
    {
    }
    int resourceId() const { return m_id; }
    QSize imageSize() const { return m_size; }
    int count() const { return static_cast<int>(m_images.size()); }
    // The image at index; a null image past the end.
    QImage image(int index) const;
    // UI thread (icons are pixmaps).
    QIcon icon(int index) const;

private:
    int m_id;
    QSize m_size;
    std::vector<QImage> m_images;
};

// Loads every collection; the ones that cannot be loaded are logged with
// their failure text and left out. Start-up; a later call only adds the ones
// that were missing, so collections already handed out stay valid.
void LoadImageCollections();

// The collection of a resource id (266 to 274, 233, 289, 290, 302, 304); null for
// other ids and for collections that failed to load.
const ImageCollection* GetImageCollection(int resourceId);
