#pragma once

#include <functional>

#include <QImage>
#include <QSize>
#include <QString>

// Thumbnails of exported media for the export list. Three sources are tried
// in turn: the desktop's thumbnail cache, artwork embedded in the file, and
// the first video frame.
namespace Thumbnail {

// Length of the shorter side of a thumbnail, in pixels.
inline constexpr int kEdgeLength = 300;

using Completion = std::function<void(const QImage& image)>;

// Returns at once; the thumbnail is made on the low-priority background
// pool (Dispatch::background: decoding a frame must not slow down the
// registration of the very file) and the completion is called there exactly
// once, with a null image when the file is missing or holds no usable
// picture.
void thumbnailWithPath(const QString& path, Completion completion);

// Writes the image as a JPEG (default quality), replacing the file
// atomically. False for a null image or a failed write.
bool saveJPEGWithPath(const QImage& image, const QString& path);

// What thumbnailWithPath computes, on the calling thread.
QImage thumbnailImageWithPath(const QString& path);

// Size of a thumbnail taken from the desktop's cache, from its pixel size:
// short images are stretched to the edge length, others kept.
QSize sizeForCachedThumbnail(const QSize& pixels);

// Size of a thumbnail made from artwork or a frame: the shorter side becomes
// the edge length and the aspect is kept (the longer side is capped so that a
// degenerate picture cannot ask for an enormous image).
QSize sizeForMediaImage(const QSize& pixels);

// The desktop thumbnail cache entry for the file, or a null image when there
// is none, it cannot be read, or it is older than the file.
QImage cachedThumbnail(const QString& path);

}  // namespace Thumbnail
