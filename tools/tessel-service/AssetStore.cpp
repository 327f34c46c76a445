#include "AssetStore.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QRandomGenerator>

namespace {

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

// Statement holder that finalizes on every path out.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    void bind(int column, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(stmt_, column, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    void bind(int column, qint64 value) { sqlite3_bind_int64(stmt_, column, value); }
    QString text(int column) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column)),
                                 sqlite3_column_bytes(stmt_, column));
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

// IDs in the style of the service's documents: 24 hexadecimal digits.
QString newAssetId() {
    QByteArray bytes(12, Qt::Uninitialized);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((now >> (24 - 8 * i)) & 0xff);
    for (int i = 4; i < 12; ++i)
        bytes[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(bytes.toHex());
}

}  // namespace

AssetStore::~AssetStore() {
    if (db_) sqlite3_close(db_);
}

QString AssetStore::lastError() const {
    return QString::fromUtf8(sqlite3_errmsg(db_));
}

bool AssetStore::exec(const char* sql, QString* error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    const QString text = QString::fromUtf8(message ? message : "unknown error");
    sqlite3_free(message);
    return fail(error, text);
}

bool AssetStore::open(const QString& path, QString* error) {
    std::lock_guard lock(mutex_);
    if (sqlite3_open_v2(path.toUtf8().constData(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK)
        return fail(error, QStringLiteral("cannot open %1: %2").arg(path, lastError()));
    sqlite3_busy_timeout(db_, 5000);
    return exec(
        "PRAGMA journal_mode=WAL;"
        "CREATE TABLE IF NOT EXISTS assets ("
        " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
        " id TEXT NOT NULL UNIQUE,"
        " dbname TEXT NOT NULL,"
        " fields TEXT NOT NULL,"
        " completed INTEGER NOT NULL DEFAULT 0,"
        " createdat INTEGER NOT NULL,"
        " updatedat INTEGER NOT NULL,"
        " completedat INTEGER);"
        "CREATE INDEX IF NOT EXISTS assets_dbname ON assets(dbname, seq);",
        error);
}

std::optional<std::vector<QString>> AssetStore::create(const QString& dbName,
                                                       const std::vector<QJsonObject>& fields,
                                                       QString* error) {
    std::lock_guard lock(mutex_);
    if (!exec("BEGIN IMMEDIATE", error)) return std::nullopt;
    std::vector<QString> ids;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const QJsonObject& item : fields) {
        Statement insert(db_,
                         "INSERT INTO assets (id, dbname, fields, createdat, updatedat) "
                         "VALUES (?, ?, ?, ?, ?)");
        QJsonObject stored = item;
        stored.remove(QStringLiteral("_id"));
        const QString id = newAssetId();
        insert.bind(1, id);
        insert.bind(2, dbName);
        insert.bind(3, QString::fromUtf8(QJsonDocument(stored).toJson(QJsonDocument::Compact)));
        insert.bind(4, now);
        insert.bind(5, now);
        if (!insert || sqlite3_step(insert.get()) != SQLITE_DONE) {
            fail(error, lastError());
            exec("ROLLBACK", nullptr);
            return std::nullopt;
        }
        ids.push_back(id);
    }
    if (!exec("COMMIT", error)) {
        exec("ROLLBACK", nullptr);
        return std::nullopt;
    }
    return ids;
}

AssetStore::Result AssetStore::markComplete(const QString& dbName, const QString& id,
                                            QString* error) {
    std::lock_guard lock(mutex_);
    Statement update(db_,
                     "UPDATE assets SET completed = 1, completedat = ?, updatedat = ? "
                     "WHERE dbname = ? AND id = ?");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    update.bind(1, now);
    update.bind(2, now);
    update.bind(3, dbName);
    update.bind(4, id);
    if (!update || sqlite3_step(update.get()) != SQLITE_DONE) {
        fail(error, lastError());
        return Result::Failed;
    }
    return sqlite3_changes(db_) > 0 ? Result::Done : Result::NotFound;
}

std::optional<QJsonObject> AssetStore::fields(const QString& dbName, const QString& id) {
    std::lock_guard lock(mutex_);
    Statement select(db_, "SELECT fields FROM assets WHERE dbname = ? AND id = ?");
    select.bind(1, dbName);
    select.bind(2, id);
    if (!select || sqlite3_step(select.get()) != SQLITE_ROW) return std::nullopt;
    return QJsonDocument::fromJson(select.text(0).toUtf8()).object();
}

AssetStore::Result AssetStore::update(const QString& dbName, const QString& id,
                                      const QJsonObject& fields, QString* error) {
    std::lock_guard lock(mutex_);
    if (!exec("BEGIN IMMEDIATE", error)) return Result::Failed;
    Statement select(db_, "SELECT fields FROM assets WHERE dbname = ? AND id = ?");
    select.bind(1, dbName);
    select.bind(2, id);
    if (!select || sqlite3_step(select.get()) != SQLITE_ROW) {
        exec("ROLLBACK", nullptr);
        return Result::NotFound;
    }
    QJsonObject merged = QJsonDocument::fromJson(select.text(0).toUtf8()).object();
    for (auto it = fields.begin(); it != fields.end(); ++it)
        if (it.key() != QLatin1String("_id")) merged.insert(it.key(), it.value());
    Statement write(db_, "UPDATE assets SET fields = ?, updatedat = ? WHERE dbname = ? AND id = ?");
    write.bind(1, QString::fromUtf8(QJsonDocument(merged).toJson(QJsonDocument::Compact)));
    write.bind(2, QDateTime::currentMSecsSinceEpoch());
    write.bind(3, dbName);
    write.bind(4, id);
    if (!write || sqlite3_step(write.get()) != SQLITE_DONE || !exec("COMMIT", error)) {
        fail(error, lastError());
        exec("ROLLBACK", nullptr);
        return Result::Failed;
    }
    return Result::Done;
}

QJsonArray AssetStore::list(const QString& dbName) {
    std::lock_guard lock(mutex_);
    QJsonArray items;
    Statement select(db_,
                     "SELECT id, fields, completed, createdat, updatedat, completedat "
                     "FROM assets WHERE dbname = ? ORDER BY seq");
    select.bind(1, dbName);
    while (select && sqlite3_step(select.get()) == SQLITE_ROW) {
        QJsonObject item = QJsonDocument::fromJson(select.text(1).toUtf8()).object();
        item.insert(QStringLiteral("_id"), select.text(0));
        item.insert(QStringLiteral("_completed"), sqlite3_column_int(select.get(), 2) != 0);
        item.insert(QStringLiteral("_createdat"), sqlite3_column_int64(select.get(), 3));
        item.insert(QStringLiteral("_updatedat"), sqlite3_column_int64(select.get(), 4));
        if (sqlite3_column_type(select.get(), 5) != SQLITE_NULL)
            item.insert(QStringLiteral("_completedat"), sqlite3_column_int64(select.get(), 5));
        items.append(item);
    }
    return items;
}
