#pragma once

#include <QByteArray>
#include <QString>

struct SeedLibrary;

// Writes a library's projects as the answer of the projects endpoint: a list
// of project objects ("id", "name", "dbname", "type") whose groups nest under
// "group". Walks the tree with an explicit stack, so depth is unbounded.
class ProjectTreeWriter {
  public:
    static void appendJson(QByteArray& out, const SeedLibrary& library);
    static void appendPlist(QByteArray& out, const SeedLibrary& library);
    static QByteArray jsonString(const QString& text);
};
