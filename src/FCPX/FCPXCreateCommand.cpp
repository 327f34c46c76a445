#include "FCPX/FCPXCreateCommand.h"

#include <atomic>

#include "FCPX/FCPXAsset.h"
#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "FCPX/FCPXWindowControllerInterface.h"
#include "appleevents/GenericObject.h"
#include "appleevents/ObjectSpecifier.h"
#include "appleevents/ScriptingRuntime.h"
#include "platform/Dispatch.h"
#include "platform/QVLog.h"

using namespace AECodes;

namespace {

const char* const kProc = "-[FCPXCreateCommand performDefaultImplementation]";

QString sourceFileName() {
    const QString file = QString::fromUtf8(__FILE__);
    return file.mid(file.lastIndexOf('/') + 1);
}

void slog(int line, const QString& text) {
    QVLog::log(QStringLiteral("SLOG: File=%1 line=%2 proc=%3 %4")
                   .arg(sourceFileName())
                   .arg(line)
                   .arg(QString::fromLatin1(kProc), text));
}

std::optional<QVariantMap> mapIfPresent(const QVariantMap& from, const char* key) {
    const auto it = from.constFind(QString::fromLatin1(key));
    if (it == from.cend() || it->typeId() != QMetaType::QVariantMap) return std::nullopt;
    return it->toMap();
}

}  // namespace

qint32 FCPXCreateCommand::appleEventUserInteractionLevel() const {
    const AEDesc event = runtime() ? runtime()->currentAppleEvent() : appleEvent();
    const auto level = event.attributeDescriptorForKeyword(keyInteractLevelAttr);
    return level ? level->int32Value() : 0;
}

QVariant FCPXCreateCommand::performDefaultImplementation() {
    const QVariantMap arguments = evaluatedArguments();
    const QVariant direct = directParameter();
    slog(__LINE__,
         QStringLiteral("The direct parameter is: '%1'").arg(GenericObject::description(direct)));
    slog(__LINE__, QStringLiteral("The other parameters are: '%1'")
                       .arg(GenericObject::description(arguments)));

    const QVariant objectClass = arguments.value(QStringLiteral("ObjectClass"));
    const QVariant keyDictionary = arguments.value(QStringLiteral("KeyDictionary"));
    if (!objectClass.isValid()) {
        QVLog::log(QStringLiteral("No object class specified"));
        setScriptErrorNumber(errAEParamMissed);
        return {};
    }

    const auto* assetClass =
        runtime() ? runtime()->definition().classWithCocoaClass("FCPXAsset") : nullptr;
    if (!assetClass || assetClass->code != quint32(objectClass.toLongLong()))
        return CreateCommand::performDefaultImplementation();

    const std::shared_ptr<FCPXDocument> document =
        FCPXDocumentController::sharedDocumentController()->currentDocument();
    if (!document) {
        QVLog::log(QStringLiteral("FCPX Document is not valid"));
        setScriptErrorNumber(errAECorruptData);
        return {};
    }

    QString name;
    std::optional<QVariantMap> metadata;
    std::optional<QVariantMap> dataOptions;
    if (keyDictionary.typeId() == QMetaType::QVariantMap) {
        const QVariantMap properties = keyDictionary.toMap();
        if (properties.value("name").typeId() == QMetaType::QString)
            name = properties.value("name").toString();
        metadata = mapIfPresent(properties, "metadata");
        dataOptions = mapIfPresent(properties, "dataOptions");
    }

    const qint32 level = appleEventUserInteractionLevel();
    if (level != kAECanInteract && level != kAEAlwaysInteract && level != kAECanSwitchLayer) {
        QVLog::log(QStringLiteral("Can't interact to application"));
        setScriptErrorNumber(errAENoUserInteraction);
        return {};
    }

    // Without a window controller no completion would ever come and the
    // editor would wait for good; refuse like a missing document instead.
    const auto controller = document->windowController();
    if (!controller) {
        QVLog::log(QStringLiteral("FCPX Document is not valid"));
        setScriptErrorNumber(errAECorruptData);
        return {};
    }

    suspendExecution();
    auto self = std::static_pointer_cast<FCPXCreateCommand>(shared_from_this());
    auto called = std::make_shared<std::atomic_bool>(false);
    // Answers once: the asset replaces whatever the document held and its
    // specifier is the reply; no asset means the share was cancelled.
    auto complete = [self, document, called](const std::shared_ptr<FCPXAsset>& asset) {
        if (called->exchange(true)) return;
        QVariant result;
        if (asset) {
            document->removeAll();
            document->insertInAssets(asset);
            if (const auto specifier = asset->objectSpecifier())
                result = QVariant::fromValue(*specifier);
        } else {
            self->setScriptErrorNumber(userCanceledErr);
        }
        self->resumeExecutionWithResult(result);
    };
    auto finish = [complete](std::shared_ptr<FCPXAsset> asset) {
        // The document and the reply belong to the main thread.
        if (Dispatch::isMainThread())
            complete(asset);
        else
            Dispatch::main([complete, asset] { complete(asset); });
    };
    controller->newAssetWithName(name, metadata, dataOptions, finish);
    return {};
}
