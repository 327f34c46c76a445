#include "library/QVVariantText.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr int kMaxDepth = 32;

QString quoted(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.$/]+$"));
    if (plain.match(text).hasMatch()) return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString describe(const QVariant& value, int depth) {
    const QString indent(4 * depth, QLatin1Char(' '));
    const QString inner(4 * (depth + 1), QLatin1Char(' '));
    switch (value.typeId()) {
        case QMetaType::QVariantMap: {
            if (depth >= kMaxDepth) return QStringLiteral("{...}");
            const QVariantMap map = value.toMap();
            QStringList lines{QStringLiteral("{")};
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                lines.append(inner + quoted(it.key()) + QStringLiteral(" = ") +
                             describe(it.value(), depth + 1) + QLatin1Char(';'));
            lines.append(indent + QLatin1Char('}'));
            return lines.join(QLatin1Char('\n'));
        }
        case QMetaType::QVariantList: {
            if (depth >= kMaxDepth) return QStringLiteral("(...)");
            const QVariantList list = value.toList();
            QStringList lines{QStringLiteral("(")};
            for (qsizetype i = 0; i < list.size(); ++i)
                lines.append(inner + describe(list[i], depth + 1) +
                             (i + 1 < list.size() ? QStringLiteral(",") : QString()));
            lines.append(indent + QLatin1Char(')'));
            return lines.join(QLatin1Char('\n'));
        }
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        case QMetaType::QString:
            return quoted(value.toString());
        default:
            if (!value.isValid() || value.isNull()) return QStringLiteral("<null>");
            return quoted(value.toString());
    }
}

}  // namespace

QString QVVariantText::describe(const QVariant& value) {
    return ::describe(value, 0);
}
