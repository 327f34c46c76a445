#include "XwdImage.h"

#include <bit>

namespace {

// The header is 25 big-endian 32-bit fields, then the window's name.
enum Field {
    HeaderSize = 0,
    FileVersion = 1,
    PixmapFormat = 2,
    Width = 4,
    Height = 5,
    ByteOrder = 7,
    BitsPerPixel = 11,
    BytesPerLine = 12,
    RedMask = 14,
    GreenMask = 15,
    BlueMask = 16,
    ColorCount = 19,
    FieldCount = 25,
};

quint32 bigEndian(const uchar* p) {
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

int channel(quint32 pixel, quint32 mask) {
    if (!mask) return 0;
    const quint32 value = (pixel & mask) >> std::countr_zero(mask);
    const quint32 top = mask >> std::countr_zero(mask);
    return int(value * 255 / top);
}

}  // namespace

QImage XwdImage::decode(const QByteArray& data) {
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    if (data.size() < FieldCount * 4) return {};
    quint32 h[FieldCount];
    for (int i = 0; i < FieldCount; ++i) h[i] = bigEndian(bytes + 4 * i);
    const quint32 bpp = h[BitsPerPixel];
    if (h[FileVersion] != 7 || h[PixmapFormat] != 2 || (bpp != 24 && bpp != 32)) return {};
    const qint64 offset = qint64(h[HeaderSize]) + qint64(h[ColorCount]) * 12;
    const qint64 width = h[Width], height = h[Height], stride = h[BytesPerLine];
    if (width <= 0 || height <= 0 || stride < width * bpp / 8 ||
        offset + stride * height > data.size())
        return {};
    const bool msbFirst = h[ByteOrder] == 1;
    const int step = int(bpp / 8);
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const uchar* line = bytes + offset + stride * y;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const uchar* p = line + x * step;
            quint32 pixel = 0;
            for (int b = 0; b < step; ++b)
                pixel |= quint32(p[b]) << (8 * (msbFirst ? step - 1 - b : b));
            out[x] = qRgb(channel(pixel, h[RedMask]), channel(pixel, h[GreenMask]),
                          channel(pixel, h[BlueMask]));
        }
    }
    return image;
}
