#include "FCPX/FCPXDocument.h"

#include "FCPX/FCPXAsset.h"
#include "FCPX/FCPXWindowControllerInterface.h"
#include "appleevents/ObjectSpecifier.h"

namespace {
const QString kAssetsKey = QStringLiteral("assets");
}

FCPXDocument::FCPXDocument()
    : uniqueID_(FCPXObject::calculateNewUniqueID()), name_(QStringLiteral("Untitled")) {}

FCPXDocument::~FCPXDocument() = default;

QByteArray FCPXDocument::dataOfType(const QString&, QString* error) const {
    if (error) error->clear();
    return QByteArray();
}

bool FCPXDocument::readFromData(const QByteArray&, const QString&, QString* error) {
    if (error) error->clear();
    return true;
}

void FCPXDocument::insertInAssets(const std::shared_ptr<FCPXAsset>& asset) {
    insertInAssets(asset, int(assets_.size()));
}

void FCPXDocument::insertInAssets(const std::shared_ptr<FCPXAsset>& asset, int index) {
    if (!asset) return;
    const qsizetype at = index < 0 || index > assets_.size() ? assets_.size() : index;
    assets_.insert(at, asset);
    asset->setContainer(shared_from_this(), kAssetsKey);
}

void FCPXDocument::removeFromAssetsAtIndex(int index) {
    if (index >= 0 && index < assets_.size()) assets_.removeAt(index);
}

void FCPXDocument::removeAll() {
    assets_.clear();
}

QVariant FCPXDocument::valueForKey(const QString& key) const {
    if (key == QLatin1String("uniqueID")) return uniqueID_;
    if (key == QLatin1String("name")) return name_;
    return {};
}

QList<std::shared_ptr<ScriptableObject>> FCPXDocument::elementsForKey(const QString& key) const {
    QList<std::shared_ptr<ScriptableObject>> out;
    if (key == kAssetsKey)
        for (const auto& a : assets_) out.append(a);
    return out;
}

bool FCPXDocument::insertElementForKey(const QString& key,
                                       std::shared_ptr<ScriptableObject> element, int index) {
    auto asset = std::dynamic_pointer_cast<FCPXAsset>(element);
    if (key != kAssetsKey || !asset) return false;
    insertInAssets(asset, index < 0 ? int(assets_.size()) : index);
    return true;
}

std::optional<ObjectSpecifier> FCPXDocument::objectSpecifier() const {
    return ObjectSpecifier::uniqueID(QStringLiteral("application"), ObjectSpecifier(),
                                     QStringLiteral("orderedDocuments"), uniqueID_);
}
