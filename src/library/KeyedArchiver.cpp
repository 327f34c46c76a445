#include "library/KeyedArchiver.h"

#include "platform/PropertyList.h"

const QString KeyedArchiver::kUIDKey = QStringLiteral("$uid");

QVariantMap KeyedArchiver::archivedRootObject(const std::shared_ptr<const KeyedCoding>& root) {
    KeyedArchiver archiver;
    QVariantMap archive;
    archive.insert("$archiver", QStringLiteral("RelaydockKeyedArchiver"));
    archive.insert("$version", qint64(1));
    if (!root) {
        archive.insert("$objects", QVariantList());
        return archive;
    }
    archiver.reference(root);
    QVariantList encoded;
    // objects_ grows while we walk it: every newly referenced object is
    // appended and encoded in a later round of this loop.
    for (size_t i = 0; i < archiver.objects_.size(); ++i) {
        QVariantMap entry;
        entry.insert("$class", archiver.objects_[i]->archiveClassName());
        archiver.current_ = &entry;
        archiver.objects_[i]->encodeWithCoder(archiver);
        archiver.current_ = nullptr;
        encoded.append(entry);
    }
    archive.insert("$top", qint64(0));
    archive.insert("$objects", encoded);
    return archive;
}

QByteArray KeyedArchiver::archivedDataWithRootObject(
    const std::shared_ptr<const KeyedCoding>& root) {
    return PropertyList::toXml(archivedRootObject(root));
}

QVariant KeyedArchiver::reference(const std::shared_ptr<const KeyedCoding>& object) {
    auto it = uids_.find(object.get());
    qint64 uid;
    if (it != uids_.end()) {
        uid = it->second;
    } else {
        uid = qint64(objects_.size());
        uids_.emplace(object.get(), uid);
        objects_.push_back(object);
    }
    return QVariantMap{{kUIDKey, uid}};
}

void KeyedArchiver::encodeInt64(qint64 value, const QString& key) {
    current_->insert(key, value);
}

void KeyedArchiver::encodeBool(bool value, const QString& key) {
    current_->insert(key, value);
}

void KeyedArchiver::encodeString(const QString& value, const QString& key) {
    if (!value.isNull()) current_->insert(key, value);
}

void KeyedArchiver::encodeValue(const QVariant& value, const QString& key) {
    if (value.isValid() && !value.isNull()) current_->insert(key, value);
}

void KeyedArchiver::encodeObject(const std::shared_ptr<const KeyedCoding>& object,
                                 const QString& key) {
    if (object) current_->insert(key, reference(object));
}
