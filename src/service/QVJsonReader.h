#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QVariant>

// A strict JSON reader (RFC 8259) that keeps its own stack instead of
// recursing, so that the depth of an answer is limited by a cap of ours and
// not by the thread's stack or a parser's fixed nesting limit.
//
// Values come back as the service client has always seen them: objects as
// QVariantMap (the last of duplicate keys wins), arrays as QVariantList,
// numbers with an integral value that fits as qint64 (also "1.0" or "1e2",
// as Qt's reader gives them), other numbers as double, true/false as bool,
// strings as QString and null as QVariant::fromValue(nullptr). A surrogate
// escape without its partner reads as U+FFFD.
//
// Refused: anything outside the grammar (trailing commas, comments, single
// quotes, leading zeros, NaN, a second value after the first), invalid UTF-8,
// raw control characters inside strings, numbers too large for a double,
// input above the size cap and nesting above the depth cap.
class QVJsonReader {
  public:
    struct Limits {
        qsizetype maxBytes = 64 * 1024 * 1024;
        int maxDepth = 100000;
    };

    struct Failure {
        QString message;
        qsizetype offset = 0;  // byte offset where reading stopped
    };

    // The value of the document, or nothing (with the reason in *failure).
    static std::optional<QVariant> read(const QByteArray& json, Failure* failure = nullptr);
    static std::optional<QVariant> read(const QByteArray& json, const Limits& limits,
                                        Failure* failure = nullptr);
};
