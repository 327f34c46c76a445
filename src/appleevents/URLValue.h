#pragma once

#include <QUrl>

#include "appleevents/AEDesc.h"

// File URLs to and from 'furl' descriptors.
namespace URLValue {

// The URL's encoded bytes (whitespace and other unsafe characters
// percent-escaped) as the data of a 'furl' descriptor.
AEDesc descriptorWithURL(const QUrl& url);
// For a 'furl' descriptor, the URL its bytes spell as UTF-8, with no base;
// for any other type, or bytes that are no URL, an empty (nil) URL.
QUrl urlValue(const AEDesc& desc);

}  // namespace URLValue
