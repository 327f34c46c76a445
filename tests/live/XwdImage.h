#pragma once

#include <QByteArray>
#include <QImage>

// Reads the window dumps xwd writes (X Window Dump, version 7): true-colour
// pictures of 24 or 32 bits per pixel, in either byte order. Anything else
// gives a null image.
class XwdImage {
  public:
    static QImage decode(const QByteArray& data);
};
