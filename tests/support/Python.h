#pragma once

#include <QByteArray>
#include <QStringList>

// Runs a python3 script (text passed with -c) and returns its standard
// output; *ok tells whether it ran and exited with 0. Standard error is
// returned in *errors when given.
namespace Python {
QByteArray run(const QString& script, const QStringList& args, bool* ok,
               QByteArray* errors = nullptr);
}
