#pragma once

#include <memory>

#include <QString>
#include <QVariantMap>

#include "export/QVExportItem.h"

class QVLibrary;
class QVProject;

// A library "lib-a" (package folder under a given root) with the project
// "p1" ("Project One") holding the group "g1" ("Group One"), which holds
// "g2", registered in the shared library manager for the fixture's lifetime.
class ExportFixture {
  public:
    explicit ExportFixture(const QString& root);
    ~ExportFixture();

    std::shared_ptr<QVLibrary> library;
    std::shared_ptr<QVProject> project;
    std::shared_ptr<QVProject> group;
    std::shared_ptr<QVProject> subgroup;

    // Clip metadata as the editor passes it (about a kilobyte).
    static QVariantMap metaData(int index = 0);
    // A movie item written inside the library at media path "Media/Master/x".
    std::shared_ptr<QVExportItem> insideItem(const QString& name, bool fcpXMLOnly = false) const;
    // A movie item written to the given folder.
    std::shared_ptr<QVExportItem> storeToItem(const QString& name, const QString& folder,
                                              bool fcpXMLOnly = false) const;
};
