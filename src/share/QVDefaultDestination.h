#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

class QVLibrary;
class QVProject;
class QVUploadLocation;

// The default destination of shares: the library and project from the
// preferences, kept pointed at the registry's current records, and the last
// upload location the service gave for that library. Main thread only; the
// service's answers come back to it through the main queue.
class QVDefaultDestination : public QObject {
    Q_OBJECT
  public:
    // `serviceCheck` is the short synchronous check of the local service
    // behind a local library's availability.
    explicit QVDefaultDestination(std::function<bool()> serviceCheck);

    std::shared_ptr<QVLibrary> library() const { return library_; }
    void setLibrary(const std::shared_ptr<QVLibrary>& library) { library_ = library; }
    std::shared_ptr<QVProject> project() const { return project_; }
    void setProject(const std::shared_ptr<QVProject>& project) { project_ = project; }
    std::shared_ptr<QVUploadLocation> uploadLocation() const { return uploadLocation_; }
    void setUploadLocation(const std::shared_ptr<QVUploadLocation>& location) {
        uploadLocation_ = location;
    }

    // Takes the library and project the preferences name, when shares go
    // to the default destination; the project once the library's tree has
    // come.
    void load();
    void loadProject(const std::shared_ptr<QVLibrary>& library);
    // Points the library at the registry's current record of it: every
    // registry reload makes new records, and only the registry's own are
    // kept up to date (online state, name, the local service's credentials).
    void refind();
    // The user's new default: stored, and its upload location asked for.
    void choose(const std::shared_ptr<QVLibrary>& library,
                const std::shared_ptr<QVProject>& project);
    // A library's tree was (re)loaded: takes the record and the node there
    // are now when it is the default one.
    void projectsLoaded(const std::shared_ptr<QVLibrary>& library);
    // Whether shares can reach the library now (a local one also needs its
    // service, which costs a short request).
    bool available() const;
    // "Default destination: ..." (scripts and the end-to-end tests wait for
    // it before sharing to the default destination).
    void log() const;

  signals:
    // What is shown of the destination may have changed.
    void changed();

  private:
    std::function<bool()> serviceCheck_;
    std::shared_ptr<QVLibrary> library_;
    std::shared_ptr<QVProject> project_;
    std::shared_ptr<QVUploadLocation> uploadLocation_;
};
