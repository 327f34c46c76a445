#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// XML property lists for the registry files and for answers in plist form.
// Values nest only a few levels here; project trees of any depth are written
// by ProjectTreeWriter without recursion.
class PlistWriter {
  public:
    static QByteArray document(const QVariant& value);
    static QByteArray header();
    static QByteArray footer();
    static void appendValue(QByteArray& out, const QVariant& value);
    static void appendKey(QByteArray& out, const QString& key);
    static void appendString(QByteArray& out, const QString& text);
    static QByteArray escaped(const QString& text);
};
