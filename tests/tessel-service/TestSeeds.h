#pragma once

#include <QJsonObject>

// Seeds shared by the service's tests.
namespace TestSeeds {
// Local library "main" (projects proj-a with groups grp-a1 > grp-a2, and
// proj-b with grp-b1), network library "remote" (users alice/wonderland and
// bob/builder), network library "hidden" (user carol, not remembered) and a
// local library "odd" whose registry entry lacks "address" and has "extra".
// Local user: local-user / local-pass.
QJsonObject standard();
}  // namespace TestSeeds
