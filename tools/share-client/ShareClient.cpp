#include "ShareClient.h"

#include <algorithm>
#include <limits>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <QUrl>

#include "DescriptorJson.h"
#include "appleevents/UserDefinedRecord.h"

using namespace AECodes;

namespace {

// The first document of the application, as the editor addresses it.
AEDesc firstDocument() {
    AEDesc doc = AEDesc::recordDescriptor(typeObjectSpecifier);
    doc.setDescriptor(AEDesc::typeCode(fourCC("docu")), keyAEDesiredClass);
    doc.setDescriptor(AEDesc(), keyAEContainer);
    doc.setDescriptor(AEDesc::enumCode(formAbsolutePosition), keyAEKeyForm);
    doc.setDescriptor(AEDesc::int32(1), keyAEKeyData);
    return doc;
}

QByteArray fcpxmlFor(const QString& name, const QString& mediaFile) {
    const QString escaped = name.toHtmlEscaped();
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE fcpxml>\n"
        "<fcpxml version=\"1.10\">\n  <resources>\n");
    if (!mediaFile.isEmpty())
        xml += QStringLiteral("    <asset id=\"r1\" name=\"%1\" src=\"%2\" hasVideo=\"1\"/>\n")
                   .arg(escaped, QUrl::fromLocalFile(mediaFile).toString().toHtmlEscaped());
    xml += QStringLiteral(
               "  </resources>\n  <library>\n    <event name=\"%1\">\n"
               "      <project name=\"%1\"/>\n    </event>\n  </library>\n</fcpxml>\n")
               .arg(escaped);
    return xml.toUtf8();
}

}  // namespace

bool ShareClient::connect(const QString& socketPath, int timeoutMs) {
    QString error;
    if (client_.connectToServer(socketPath, timeoutMs, &error)) return true;
    print({{"step", "connect"}, {"socket", socketPath}, {"error", error}});
    return false;
}

void ShareClient::print(const QJsonObject& object) {
    out_ << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
    out_.flush();
}

ShareClient::Answer ShareClient::send(const AEDesc& event) {
    Answer answer;
    QString why;
    const auto reply = client_.sendAndWait(event, timeoutMs_, &why);
    if (!reply) {
        answer.error = errAETimeout;
        answer.message = why;
        return answer;
    }
    answer.received = true;
    answer.error = AppleEventClient::errorNumber(*reply);
    answer.message = AppleEventClient::errorString(*reply);
    answer.result = AppleEventClient::result(*reply);
    return answer;
}

QJsonObject ShareClient::stepJson(const QString& step, const Answer& answer) {
    QJsonObject o{{"step", step}, {"error", answer.error}};
    if (!answer.message.isEmpty()) o.insert("message", answer.message);
    if (answer.result) o.insert("result", DescriptorJson::toJson(*answer.result));
    return o;
}

AEDesc ShareClient::makeEvent(const ShareOptions& options) const {
    AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
    ev.setAttributeDescriptor(AEDesc::int32(options.interactionLevel), keyInteractLevelAttr);
    ev.setParamDescriptor(AEDesc::typeCode(fourCC("aset")), fourCC("kocl"));
    AEDesc location = AEDesc::recordDescriptor(typeInsertionLoc);
    location.setDescriptor(firstDocument(), keyAEObject);
    location.setDescriptor(AEDesc::enumCode(kAEEnd), keyAEPosition);
    ev.setParamDescriptor(location, fourCC("insh"));
    AEDesc properties = AEDesc::recordDescriptor();
    if (!options.name.isNull())
        properties.setDescriptor(AEDesc::unicodeText(options.name), fourCC("pnam"));
    properties.setDescriptor(
        UserDefinedRecord::scriptingUserDefinedRecordDescriptor(options.metadata), fourCC("meta"));
    properties.setDescriptor(
        UserDefinedRecord::scriptingUserDefinedRecordDescriptor(options.dataOptions),
        fourCC("dopt"));
    ev.setParamDescriptor(properties, fourCC("prdt"));
    return ev;
}

AEDesc ShareClient::getEvent(const AEDesc& container, quint32 property) const {
    AEDesc specifier = AEDesc::recordDescriptor(typeObjectSpecifier);
    specifier.setDescriptor(AEDesc::typeCode(cProperty), keyAEDesiredClass);
    specifier.setDescriptor(container, keyAEContainer);
    specifier.setDescriptor(AEDesc::enumCode(formPropertyID), keyAEKeyForm);
    specifier.setDescriptor(AEDesc::typeCode(property), keyAEKeyData);
    AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAEGetData);
    ev.setParamDescriptor(specifier, keyDirectObject);
    return ev;
}

AEDesc ShareClient::openEvent(const QStringList& files) const {
    AEDesc list = AEDesc::listDescriptor();
    for (const auto& f : files)
        list.insertDescriptor(AEDesc::fileURL(QUrl::fromLocalFile(QFileInfo(f).absoluteFilePath())),
                              0);
    AEDesc ev = AEDesc::appleEvent(kCoreEventClass, kAEOpenDocuments);
    ev.setParamDescriptor(list, keyDirectObject);
    return ev;
}

int ShareClient::summary(const QString& status, int error, const QString& folder,
                         const QString& basename, bool hasMedia, const QStringList& files) {
    print({{"status", status},
           {"error", error},
           {"folder", folder.isNull() ? QJsonValue() : QJsonValue(folder)},
           {"basename", basename.isNull() ? QJsonValue() : QJsonValue(basename)},
           {"hasMedia", hasMedia},
           {"files", QJsonArray::fromStringList(files)}});
    return status == "ok" ? 0 : 1;
}

bool ShareClient::writeMedia(const ShareOptions& options, const QString& path, bool* cancelled) {
    *cancelled = false;
    // A render handed over by a script can be many gigabytes: it is copied
    // through a bounded buffer, never read whole.
    constexpr qint64 kBlock = 4 * 1024 * 1024;
    QBuffer generated;
    QFile file(options.mediaPath);
    QIODevice* source = &file;
    if (options.mediaPath.isEmpty()) {
        QByteArray bytes(256 * 1024, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = char((i * 31) & 0xff);
        generated.setData(bytes);
        source = &generated;
    }
    if (!source->open(QIODevice::ReadOnly)) {
        print({{"step", "write"}, {"file", path}, {"error", "cannot read " + options.mediaPath}});
        return false;
    }
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        print({{"step", "write"}, {"file", path}, {"error", out.errorString()}});
        return false;
    }
    // Written in timed chunks so that the agent sees an export in progress.
    // A pipe (--media /dev/stdin) has no size: it is copied to its end at once.
    const bool sequential = source->isSequential();
    const qint64 total = sequential ? std::numeric_limits<qint64>::max() : source->size();
    const int chunks = options.writeSeconds > 0 && !sequential ? 20 : 1;
    const qint64 chunkSize = sequential ? total : (total + chunks - 1) / chunks;
    QElapsedTimer clock;
    clock.start();
    // Checked before every chunk and once more at the end, so a cancel time
    // of 0 deletes the file before anything is written.
    auto cancelDue = [&] {
        if (options.cancelAfter < 0 || clock.elapsed() < qint64(options.cancelAfter * 1000))
            return false;
        out.close();
        QFile::remove(path);
        *cancelled = true;
        print({{"step", "cancel"}, {"deleted", path}});
        return true;
    };
    qint64 written = 0;
    for (int i = 0; i < chunks; ++i) {
        if (cancelDue()) return false;
        const qint64 chunkEnd = chunkSize >= total - written ? total : written + chunkSize;
        while (written < chunkEnd) {
            const QByteArray block = source->read(std::min(kBlock, chunkEnd - written));
            if (block.isEmpty() && sequential) break;
            if (block.isEmpty()) {
                print({{"step", "write"},
                       {"file", path},
                       {"error", "cannot read " + options.mediaPath}});
                return false;
            }
            if (out.write(block) != block.size()) {
                print({{"step", "write"}, {"file", path}, {"error", out.errorString()}});
                return false;
            }
            written += block.size();
        }
        out.flush();
        if (options.writeSeconds > 0)
            QThread::msleep(static_cast<unsigned long>(options.writeSeconds * 1000 / chunks));
    }
    if (cancelDue()) return false;
    out.close();
    print({{"step", "write"}, {"file", path}, {"bytes", double(written)}});
    return true;
}

int ShareClient::share(const ShareOptions& options) {
    const Answer made = send(makeEvent(options));
    print(stepJson("make", made));
    if (made.error != 0 || !made.result)
        return summary("error", made.error != 0 ? made.error : errAEEventFailed, {}, {}, false, {});
    const AEDesc asset = *made.result;

    const Answer location = send(getEvent(asset, fourCC("locn")));
    print(stepJson("locationInfo", location));
    if (location.error != 0 || !location.result)
        return summary("error", location.error != 0 ? location.error : errAEEventFailed, {}, {},
                       false, {});
    const AEDesc info = *location.result;
    const auto folderDesc = info.descriptorForKeyword(fourCC("asfd"));
    const auto baseDesc = info.descriptorForKeyword(fourCC("asbn"));
    const auto mediaDesc = info.descriptorForKeyword(fourCC("ashm"));
    const auto descriptionDesc = info.descriptorForKeyword(fourCC("ashd"));
    const QString folder = folderDesc ? folderDesc->fileURLValue().toLocalFile() : QString();
    const QString basename = baseDesc ? baseDesc->stringValue() : QString();
    const bool hasMedia = mediaDesc ? mediaDesc->booleanValue() : true;
    const bool hasDescription = descriptionDesc ? descriptionDesc->booleanValue() : true;
    if (folder.isEmpty() || basename.isEmpty() || basename.contains('/'))
        return summary("error", errAECorruptData, folder, basename, hasMedia, {});

    print(stepJson("libraryInfo", send(getEvent(asset, fourCC("lbry")))));
    print(stepJson("metadata", send(getEvent(asset, fourCC("meta")))));
    print(stepJson("dataOptions", send(getEvent(asset, fourCC("dopt")))));

    QStringList files;
    const QString mediaPath = QDir(folder).filePath(basename + ".mov");
    if (hasMedia) {
        bool cancelled = false;
        if (!writeMedia(options, mediaPath, &cancelled))
            return summary("error", cancelled ? userCanceledErr : errAEEventFailed, folder,
                           basename, hasMedia, {});
        files << mediaPath;
    }
    if (hasDescription) {
        const QString xmlPath = QDir(folder).filePath(basename + ".fcpxml");
        QFile xml(xmlPath);
        if (!xml.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            xml.write(fcpxmlFor(options.name, hasMedia ? mediaPath : QString())) < 0) {
            print({{"step", "write"}, {"file", xmlPath}, {"error", xml.errorString()}});
            return summary("error", errAEEventFailed, folder, basename, hasMedia, files);
        }
        xml.close();
        print({{"step", "write"}, {"file", xmlPath}, {"bytes", double(QFileInfo(xmlPath).size())}});
        files << xmlPath;
    }
    if (options.open && !files.isEmpty()) {
        const Answer opened = send(openEvent(files));
        print(stepJson("open", opened));
        if (opened.error != 0)
            return summary("error", opened.error, folder, basename, hasMedia, files);
    }
    return summary("ok", 0, folder, basename, hasMedia, files);
}

int ShareClient::make(const ShareOptions& options) {
    const Answer made = send(makeEvent(options));
    print(stepJson("make", made));
    return made.error == 0 && made.received ? 0 : 1;
}

std::optional<quint32> ShareClient::propertyCode(const QString& property) {
    static const QMap<QString, quint32> names = {
        {"id", fourCC("ID  ")},           {"name", fourCC("pnam")},
        {"locationInfo", fourCC("locn")}, {"location info", fourCC("locn")},
        {"libraryInfo", fourCC("lbry")},  {"library info", fourCC("lbry")},
        {"metadata", fourCC("meta")},     {"dataOptions", fourCC("dopt")},
        {"data options", fourCC("dopt")}};
    if (names.contains(property)) return names.value(property);
    bool ok = false;
    const quint32 code = fromString(property, &ok);
    if (ok) return code;
    return std::nullopt;
}

int ShareClient::get(const QString& assetID, const QString& property) {
    const auto code = propertyCode(property);
    if (!code) {
        print({{"step", "get"}, {"error", "unknown property " + property}});
        return 2;
    }
    AEDesc asset = AEDesc::recordDescriptor(typeObjectSpecifier);
    asset.setDescriptor(AEDesc::typeCode(fourCC("aset")), keyAEDesiredClass);
    asset.setDescriptor(firstDocument(), keyAEContainer);
    asset.setDescriptor(AEDesc::enumCode(formUniqueID), keyAEKeyForm);
    asset.setDescriptor(AEDesc::unicodeText(assetID), keyAEKeyData);
    const Answer answer = send(getEvent(asset, *code));
    print(stepJson("get", answer));
    return answer.error == 0 && answer.received ? 0 : 1;
}

int ShareClient::open(const QStringList& files) {
    const Answer answer = send(openEvent(files));
    print(stepJson("open", answer));
    return answer.error == 0 && answer.received ? 0 : 1;
}

int ShareClient::simple(AEEventID eventID, const QString& label) {
    const Answer answer = send(AEDesc::appleEvent(kCoreEventClass, eventID));
    print(stepJson(label, answer));
    return answer.error == 0 && answer.received ? 0 : 1;
}
