#include "frame/ImageCollections.h"

#include "app/base/LogWriter.h"

#include <QPixmap>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

namespace image_collections_detail {
namespace {

struct CollectionSpec {
    int id;
    int size;
    const char* failureText;
};

constexpr CollectionSpec kCollections[] = {
    {266, 16, "Loading Chart Tool Bar Failed."},
    {267, 16, "Loading Funds Tool Bar Failed."},
    {268, 16, "Loading General Web Tool Bar Failed."},
    {269, 16, "Loading General Tool Bar Failed."},
    {270, 16, "Loading Market Tool Bar Failed."},
    {233, 16, "Loading Market Tool Bar Failed."},
    {271, 16, "Loading Report Tool Bar Failed."},
    {272, 16, "Loading Settings Tool Bar Failed."},
    {273, 16, "Loading Trading Tool Bar Failed."},
    {274, 16, "Loading User Mgmt Tool Bar Failed."},
    {302, 32, "Loading Sunvale Hour Tool Bar Failed."},
    {290, 32, "Loading Rating Stars Tool Bar Failed."},
    {304, 16, "Loading weblink Tool bar Failed."},
    {289, 32, "Loading weblink images Failed."},
};

std::mutex g_mutex;
std::map<int, std::shared_ptr<const ImageCollection>> g_collections; // guarded by g_mutex

std::unique_ptr<ImageCollection> loadStrip(const CollectionSpec& spec)
{
    const QImage strip(QStringLiteral(":/toolbars/toolbar_%1.png").arg(spec.id));
    if (strip.isNull() || strip.height() < spec.size || strip.width() < spec.size)
        return nullptr;
    std::vector<QImage> images;
    for (int x = 0; x + spec.size <= strip.width(); x += spec.size)
        images.push_back(strip.copy(x, 0, spec.size, spec.size));
    return std::make_unique<ImageCollection>(spec.id, QSize(spec.size, spec.size), std::move(images));
}

} // namespace
} // namespace image_collections_detail

QImage ImageCollection::image(int index) const
{
    if (index < 0 || index >= count())
        return QImage();
    return m_images[static_cast<size_t>(index)];
}

QIcon ImageCollection::icon(int index) const
{
    const QImage img = image(index);
    return img.isNull() ? QIcon() : QIcon(QPixmap::fromImage(img));
}

void LoadImageCollections()
{
    std::map<int, std::shared_ptr<const ImageCollection>> loaded;
    for (const auto& spec : image_collections_detail::kCollections) {
        if (auto collection = image_collections_detail::loadStrip(spec))
            loaded[spec.id] = std::move(collection);
        else
            WriteLog(0, spec.failureText);
    }
    std::lock_guard lock(image_collections_detail::g_mutex);
    // Collections handed out stay valid: a reload keeps the old ones alive by
    // not replacing an id that is already loaded.
    for (auto& [id, collection] : loaded)
        image_collections_detail::g_collections.try_emplace(id, std::move(collection));
}

const ImageCollection* GetImageCollection(int resourceId)
{
    std::lock_guard lock(image_collections_detail::g_mutex);
    const auto it = image_collections_detail::g_collections.find(resourceId);
    return it == image_collections_detail::g_collections.end() ? nullptr : it->second.get();
}
