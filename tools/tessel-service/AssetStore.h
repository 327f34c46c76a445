#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

struct sqlite3;

// The service's assets, one row per asset, in an SQLite database. The fields
// a client sent are kept as one JSON document per asset; the service's own
// state (completion, times) has columns of its own. Safe for concurrent use.
class AssetStore {
  public:
    AssetStore() = default;
    ~AssetStore();
    AssetStore(const AssetStore&) = delete;
    AssetStore& operator=(const AssetStore&) = delete;

    bool open(const QString& path, QString* error);

    // Inserts all assets in one transaction; returns their new IDs in order,
    // or nothing when the database refused (no asset is kept then).
    std::optional<std::vector<QString>> create(const QString& dbName,
                                               const std::vector<QJsonObject>& fields,
                                               QString* error);
    enum class Result { Done, NotFound, Failed };
    Result markComplete(const QString& dbName, const QString& id, QString* error);
    // Top-level keys of fields replace the stored ones ("_id" is ignored).
    Result update(const QString& dbName, const QString& id, const QJsonObject& fields,
                  QString* error);
    std::optional<QJsonObject> fields(const QString& dbName, const QString& id);
    // Every asset of the library in creation order: its fields plus "_id",
    // "_completed", "_createdat", "_updatedat" and, once complete, "_completedat".
    QJsonArray list(const QString& dbName);

  private:
    bool exec(const char* sql, QString* error);
    QString lastError() const;

    sqlite3* db_ = nullptr;
    std::mutex mutex_;
};
