#pragma once

#include <memory>

#include <QByteArray>
#include <QList>
#include <QString>

#include "appleevents/ScriptableObject.h"

class FCPXAsset;
class FCPXWindowControllerInterface;

// The agent's one scripting document: its elements are the assets the editor
// makes ("assets"). It is never saved or read from a file. Held by
// std::shared_ptr (its assets point back at it).
class FCPXDocument : public ScriptableObject {
  public:
    // A unique ID from the elements' sequence; the name "Untitled".
    FCPXDocument();
    ~FCPXDocument() override;

    std::shared_ptr<FCPXWindowControllerInterface> windowController() const {
        return windowController_;
    }
    void setWindowController(std::shared_ptr<FCPXWindowControllerInterface> controller) {
        windowController_ = std::move(controller);
    }
    QString uniqueID() const { return uniqueID_; }
    void setUniqueID(const QString& id) { uniqueID_ = id; }
    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    QList<std::shared_ptr<FCPXAsset>> assets() const { return assets_; }
    void setAssets(const QList<std::shared_ptr<FCPXAsset>>& assets) { assets_ = assets; }

    // The window resource's name.
    static QString windowNibName() { return QStringLiteral("FCPXDocument"); }
    // Never saved: no data and no error.
    QByteArray dataOfType(const QString& type, QString* error) const;
    // Never read: succeeds without reading.
    bool readFromData(const QByteArray& data, const QString& type, QString* error);

    // Each sets the asset's container to this document under "assets".
    void insertInAssets(const std::shared_ptr<FCPXAsset>& asset);
    // An index past the end appends.
    void insertInAssets(const std::shared_ptr<FCPXAsset>& asset, int index);
    // Does nothing for an index at or beyond the count.
    void removeFromAssetsAtIndex(int index);
    void removeAll();

    QString scriptingClassName() const override { return QStringLiteral("FCPXDocument"); }
    QVariant valueForKey(const QString& key) const override;
    QList<std::shared_ptr<ScriptableObject>> elementsForKey(const QString& key) const override;
    bool insertElementForKey(const QString& key, std::shared_ptr<ScriptableObject> element,
                             int index) override;
    QString uniqueIDForScripting() const override { return uniqueID_; }
    // By unique ID among the application's documents.
    std::optional<ObjectSpecifier> objectSpecifier() const override;

  private:
    std::shared_ptr<FCPXWindowControllerInterface> windowController_;
    QString uniqueID_;
    QString name_;
    QList<std::shared_ptr<FCPXAsset>> assets_;
};
