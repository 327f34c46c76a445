#pragma once

#include <memory>

#include <QString>

#include "appleevents/ScriptableObject.h"

// Base of the elements scripts address: an identifier unique within the run
// ("CORVANE-PRO-<pid>-<n>"), a name ("Untitled <n>") and the container that
// holds the element under one key.
class FCPXObject : public ScriptableObject {
  public:
    // Takes a new unique ID and the next "Untitled <n>" name.
    FCPXObject();
    ~FCPXObject() override;

    // "CORVANE-PRO-<process ID>-<n>", n counting from 1 over the whole run;
    // the process ID is the one captured by the first call.
    static QString calculateNewUniqueID();
    // The current name counter (from 1), then counts it up.
    static quint64 calculateNameCounter();

    // setContainer:andProperty:. The container is not owned.
    void setContainer(const std::shared_ptr<ScriptableObject>& container, const QString& property);
    std::shared_ptr<ScriptableObject> container() const { return container_.lock(); }
    void setContainer(const std::shared_ptr<ScriptableObject>& container) {
        container_ = container;
    }
    QString containerProperty() const { return containerProperty_; }
    void setContainerProperty(const QString& property) { containerProperty_ = property; }
    QString uniqueID() const { return uniqueID_; }
    void setUniqueID(const QString& id) { uniqueID_ = id; }
    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }

    // By unique ID within the container's elements of containerProperty;
    // nothing while the object has no container.
    std::optional<ObjectSpecifier> objectSpecifier() const override;

    QString scriptingClassName() const override { return QStringLiteral("FCPXObject"); }
    QVariant valueForKey(const QString& key) const override;
    bool setValueForKey(const QString& key, const QVariant& value) override;
    QString uniqueIDForScripting() const override { return uniqueID_; }

  private:
    std::weak_ptr<ScriptableObject> container_;
    QString containerProperty_;
    QString uniqueID_;
    QString name_;
};
