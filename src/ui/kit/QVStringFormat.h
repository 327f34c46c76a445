#pragma once

#include <QString>
#include <QStringList>

// Fills a format of the string table with arguments in order: "%@", "%d",
// "%ld", "%lld", "%i", "%u", "%lu", "%s" take the next argument, "%1$@"
// (and the other n$ forms) take argument n, "%%" is a percent sign. A
// placeholder without an argument becomes empty text; extra arguments are
// ignored; anything else after "%" is copied as it stands.
namespace QVStringFormat {
QString format(const QString& format, const QStringList& arguments);
}
