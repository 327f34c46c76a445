#pragma once

#include <functional>
#include <memory>

#include <QImage>
#include <QSize>
#include <QString>

struct AVFormatContext;

// Reads the pictures a thumbnail can be made from out of a media file with
// FFmpeg: embedded artwork and the first video frame. Every FFmpeg context is
// owned by a smart pointer, so nothing leaks on any failure path.
class ThumbnailDecoder {
  public:
    // Maps the display size of a frame to the size it is to be scaled to.
    using SizeFunction = std::function<QSize(const QSize& displaySize)>;

    // Opens the file's container; isOpen() tells whether that worked. Only
    // the local file is read: no other protocol is allowed.
    explicit ThumbnailDecoder(const QString& path);
    ~ThumbnailDecoder();
    ThumbnailDecoder(const ThumbnailDecoder&) = delete;
    ThumbnailDecoder& operator=(const ThumbnailDecoder&) = delete;

    bool isOpen() const { return format_ != nullptr; }

    // The first attached picture (ID3 APIC frame, MP4 'covr' atom, ...) that
    // decodes as an image, at its own size; null when there is none.
    QImage artwork() const;

    // The first presented frame of the first video stream, scaled to
    // sizeFor(display size) with the stream's pixel aspect and rotation
    // applied; null when no frame can be decoded or the size is empty.
    QImage firstVideoFrame(const SizeFunction& sizeFor);

  private:
    struct FormatCloser {
        void operator()(AVFormatContext* context) const;
    };
    int videoStreamIndex();

    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    bool streamInfoRead_ = false;
};
