#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include "FuzzEntries.h"
#include "service/QVJsonReader.h"
#include "service/QVTesselUtil.h"

namespace {

// Qt's reader stops at 1024 levels; below that both must agree on every
// document both accept, except for surrogate escapes without a partner
// (Qt keeps the half character, ours reads U+FFFD).
void compareWithQt(const QByteArray& body) {
    static const QRegularExpression surrogateEscape(QStringLiteral("\\\\u[dD][89a-fA-F]"));
    const auto ours = QVJsonReader::read(body);
    QJsonParseError error;
    const QJsonDocument qt = QJsonDocument::fromJson(body, &error);
    if (!ours || error.error != QJsonParseError::NoError) return;
    if (surrogateEscape.match(QString::fromLatin1(body)).hasMatch()) return;
    if (qt.isObject())
        FuzzEntries::check(*ours == QVariant(qt.object().toVariantMap()),
                           "JSON readers disagree on an object");
    else if (qt.isArray())
        FuzzEntries::check(*ours == QVariant(qt.array().toVariantList()),
                           "JSON readers disagree on an array");
}

}  // namespace

namespace FuzzEntries {

int serviceAnswer(const uint8_t* data, size_t size) {
    initialize();
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QUrl withLibrary(
        QStringLiteral("http://127.0.0.1:7662/tessel/libraries/Lib/projects"));
    static const QUrl plain(QStringLiteral("http://127.0.0.1:7662/tessel/libraries?type=0"));
    for (const QUrl& url : {withLibrary, plain}) {
        const auto outcome = QVTesselUtil::decodeResponse(url, body, std::nullopt);
        check(outcome.result.isValid() != outcome.error.has_value(),
              "an answer decodes to exactly one of result and error");
        if (outcome.error) {
            check(!outcome.error->localizedDescription().isNull(), "an error without a text");
            continue;
        }
        QVTesselUtil::errorWithResponse(outcome.result);
        const QVariantMap map = outcome.result.toMap();
        QVTesselUtil::integerValueFromObject(map.value(QStringLiteral("error")));
        QVTesselUtil::stringValueFromObject(map.value(QStringLiteral("message")));
    }
    compareWithQt(body);
    return 0;
}

}  // namespace FuzzEntries
