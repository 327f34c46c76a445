#include "appleevents/URLValue.h"

AEDesc URLValue::descriptorWithURL(const QUrl& url) {
    return AEDesc(AECodes::typeFileURL, url.toEncoded());
}

QUrl URLValue::urlValue(const AEDesc& desc) {
    if (desc.descriptorType() != AECodes::typeFileURL) return QUrl();
    const QString text = QString::fromUtf8(desc.data());
    if (text.isEmpty()) return QUrl();
    QUrl url(text, QUrl::StrictMode);
    return url.isValid() ? url : QUrl();
}
