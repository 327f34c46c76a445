#pragma once

#include <functional>

#include "appleevents/ScriptableObject.h"

// The top of every object specifier: the application, whose documents come
// from whoever manages them.
class ScriptApplication : public ScriptableObject {
  public:
    using DocumentsProvider = std::function<QList<std::shared_ptr<ScriptableObject>>()>;

    void setDocumentsProvider(DocumentsProvider provider) { documents_ = std::move(provider); }
    void setName(const QString& name) { name_ = name; }

    QString scriptingClassName() const override { return QStringLiteral("NSApplication"); }
    QVariant valueForKey(const QString& key) const override;
    QList<std::shared_ptr<ScriptableObject>> elementsForKey(const QString& key) const override;
    std::optional<ObjectSpecifier> objectSpecifier() const override;

  private:
    DocumentsProvider documents_;
    QString name_ = QStringLiteral("Relaydock");
};
