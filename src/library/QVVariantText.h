#pragma once

#include <QString>
#include <QVariant>

// The printed form of property-list values, in the style of the platform's
// dictionary descriptions:
//   {
//       dbname = lib1;
//       name = "My Library";
//   }
namespace QVVariantText {
// Nested containers deeper than a fixed limit print as "..." so that any
// value prints in bounded stack.
QString describe(const QVariant& value);
}  // namespace QVVariantText
