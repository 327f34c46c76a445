#include "platform/QVError.h"

QVError QVError::make(const QString& domain, qint64 code, const QString& description) {
    QVError error;
    error.domain = domain;
    error.code = code;
    if (!description.isEmpty()) error.userInfo.insert(kNSLocalizedDescriptionKey, description);
    return error;
}

QString QVError::localizedDescription() const {
    const QVariant description = userInfo.value(kNSLocalizedDescriptionKey);
    if (description.isValid() && !description.toString().isEmpty()) return description.toString();
    return QStringLiteral("The operation couldn\u2019t be completed. (%1 error %2.)")
        .arg(domain)
        .arg(code);
}
