#pragma once

#include <QByteArray>
#include <QStringView>
#include <QVariant>

// A fast path for the property-list XML of the export list: the same bytes
// as PropertyList::appendXmlValue, written straight from the values into
// one growing buffer (UTF-8 encoded and escaped in a single pass, without a
// temporary per string). Types other than dictionaries, arrays, strings,
// integers, reals and booleans go through PropertyList itself.
namespace PlistXmlWriter {

void appendValue(QByteArray& out, const QVariant& value, int depth);
// <key>text</key> or <string>text</string> at the given depth.
void appendElement(QByteArray& out, const char* tag, QStringView text, int depth);
// The text escaped as PropertyList escapes element content.
void appendEscapedUtf8(QByteArray& out, QStringView text);

}  // namespace PlistXmlWriter
