#pragma once

#include <optional>

#include <QString>
#include <QVariantMap>

// An error as the agent reports it: a domain, a code and a user-info
// dictionary ("NSLocalizedDescription" holds the message when there is one).
struct QVError {
    QString domain;
    qint64 code = 0;
    QVariantMap userInfo;

    static QVError make(const QString& domain, qint64 code, const QString& description = {});
    QString localizedDescription() const;
    bool operator==(const QVError& other) const = default;
};

// "No error" is an empty optional.
using QVErrorOpt = std::optional<QVError>;

inline const char* const kNSLocalizedDescriptionKey = "NSLocalizedDescription";
