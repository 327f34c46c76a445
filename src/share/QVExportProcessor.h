#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "FCPX/FCPXWindowControllerInterface.h"
#include "export/QVExportItemManager.h"
#include "platform/NotificationCenter.h"
#include "share/QVDefaultDestination.h"
#include "share/QVShareEnvironment.h"

class QVExportItem;
class QVLibrary;
class QVProject;
class QVShareInteraction;
class QVUploadLocation;

// Every share from the editor's create command to a registered asset: the
// destination, the asset the editor writes for and the export item that
// tracks it, the wait for the export, the finish step, resumption at launch
// and retries. Knows nothing of windows: what only a person can answer goes
// through the interaction, and whoever shows the list follows the items
// through the signals (always emitted on the main thread).
//
// Lives on the main thread, owned through a shared pointer. Work that
// finishes on other threads (service answers, the file detector, the
// thumbnail maker, the adapter) only touches items and the export list
// there and hops to the main queue for the rest.
class QVExportProcessor : public QObject, public std::enable_shared_from_this<QVExportProcessor> {
    Q_OBJECT
  public:
    using ItemPtr = std::shared_ptr<QVExportItem>;
    using AssetCompletion = FCPXWindowControllerInterface::AssetCompletion;
    using ItemBlock = std::function<void(const ItemPtr&)>;

    // The interaction must outlive the processor, or be taken back with
    // setInteraction(nullptr) first.
    QVExportProcessor(QVShareInteraction* interaction, QVShareEnvironment environment);
    ~QVExportProcessor() override;
    void setInteraction(QVShareInteraction* interaction) { interaction_ = interaction; }
    const QVShareEnvironment& environment() const { return environment_; }
    QVDefaultDestination& destination() { return destination_; }
    const QVDefaultDestination& destination() const { return destination_; }
    // A destination sheet is waiting for the user.
    bool choosingDestination() const { return choosing_; }

    // ---- A share ----

    // The default destination when the interaction says so and it is
    // usable, else the destination sheet. Completion exactly once, on the
    // main queue.
    void newAssetWithName(const QString& name, const std::optional<QVariantMap>& metaData,
                          const std::optional<QVariantMap>& dataOptions,
                          AssetCompletion completion);
    void uploadForSelectLibraryWithName(const QString& name,
                                        const std::optional<QVariantMap>& metaData,
                                        const std::optional<QVariantMap>& dataOptions,
                                        AssetCompletion completion);
    // Makes the asset and the export item, saves the item, answers the
    // editor and starts waiting for the export.
    void createFCPXAssetWithName(const QString& name, const std::optional<QVariantMap>& metaData,
                                 const std::optional<QVariantMap>& dataOptions,
                                 const std::shared_ptr<QVLibrary>& library,
                                 const std::shared_ptr<QVProject>& project, qint64 importType,
                                 const QString& storeToPath,
                                 const std::shared_ptr<QVUploadLocation>& locationInfo,
                                 bool exportFCPXMLOnly, AssetCompletion completion);
    // The editor announces finished files: registers them. Rows are
    // refreshed through `rows` while it lives (there may be no window).
    static void finishExport(const QStringList& paths,
                             const std::weak_ptr<QVExportProcessor>& rows);

    // ---- Registration, launch, retry ----

    void importMovieForExportItem(const ItemPtr& item);
    void importFCPXMLForExportItem(const ItemPtr& item);
    // Restarts every item whose status is neither completed nor cancelled:
    // a file not yet announced by the editor is waited for again, a
    // registration that had begun is run again.
    void checkExportItems();
    void checkExportItems(const QVExportItemList& items);
    // After the launch delay: reads the stored list off the main thread
    // (alert and end of the application when it cannot be read), then
    // resumes its unfinished items and loads the default destination.
    void loadExportItems();
    void retryExportForCreating(const ItemPtr& item);
    void retryExportForUpdating(const ItemPtr& item);
    void retryFCPXMLExportForCreating(const ItemPtr& item);
    void retryFCPXMLExportForUpdating(const ItemPtr& item);
    // The retry the item's status calls for; false when it failed in
    // neither way.
    bool retryExportItem(const ItemPtr& item);
    // Reloads every library and its tree.
    void reloadLibraries();

    // The adapter's update and completion blocks: a row refresh through
    // `rows`, then a save of the list. They hold the project tree of the
    // item being uploaded.
    static ItemBlock refreshAndSaveBlock(const std::weak_ptr<QVExportProcessor>& rows,
                                         const ItemPtr& uploading = nullptr);
    // Writes the item's thumbnail under a new unique name, records its path
    // and saves the list. With logging off, nothing is written or logged
    // when no image comes back.
    static void makeThumbnailForItem(const ItemPtr& item,
                                     const std::weak_ptr<QVExportProcessor>& rows, bool logging);
    // Points the item at the node of its library's current project tree.
    static void refreshProjectOfItem(const ItemPtr& item);
    // Emits itemChanged through `rows` on the main queue, for an item of
    // the list; any thread.
    static void refreshRow(const std::weak_ptr<QVExportProcessor>& rows, const ItemPtr& item);

  signals:
    // A share's item was put at the top of the list.
    void itemAdded(const ItemPtr& item);
    void itemChanged(const ItemPtr& item);
    // The stored list was read and taken in.
    void listLoaded();
    // A library's tree arrived; items waiting for their project have it.
    void projectsLoaded();

  private:
    void useDefaultDestination(const QString& name, const std::optional<QVariantMap>& metaData,
                               const std::optional<QVariantMap>& dataOptions,
                               AssetCompletion completion);
    void alert(const QString& message);
    // A resumed wait also ends a share whose file never came as cancelled,
    // and registers a file that is complete when the editor's announcement
    // does not come.
    void waitForExport(const ItemPtr& item, bool resumed = false);
    void waitForDescription(const ItemPtr& item);
    void resumeItem(const ItemPtr& item);
    void libraryProjectsLoaded(const Notification& notification);
    void resumePendingItems();
    std::weak_ptr<QVExportProcessor> weakSelf() { return weak_from_this(); }

    QVShareInteraction* interaction_;
    QVShareEnvironment environment_;
    QVDefaultDestination destination_;
    bool choosing_ = false;
    QList<ItemPtr> pendingResume_;
    NotificationCenter::Token projectsToken_ = 0;
};
