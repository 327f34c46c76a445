#include "FaultMatrix.h"

#include <algorithm>

FaultMatrix::FaultMatrix(QStringList rows, QStringList kinds)
    : rows_(std::move(rows)), kinds_(std::move(kinds)) {}

void FaultMatrix::expect(const QString& row, const QString& kind, const QString& outcome) {
    expected_.insert(key(row, kind), outcome);
}

void FaultMatrix::expectRow(const QString& row, const QString& outcome,
                            const QMap<QString, QString>& exceptions) {
    for (const QString& kind : kinds_) expect(row, kind, exceptions.value(kind, outcome));
}

void FaultMatrix::record(const QString& row, const QString& kind, const QString& outcome) {
    observed_.insert(key(row, kind), outcome);
}

QString FaultMatrix::expected(const QString& row, const QString& kind) const {
    return expected_.value(key(row, kind));
}

QString FaultMatrix::observed(const QString& row, const QString& kind) const {
    return observed_.value(key(row, kind));
}

bool FaultMatrix::hasObserved(const QString& row) const {
    return std::any_of(kinds_.begin(), kinds_.end(),
                       [&](const QString& kind) { return observed_.contains(key(row, kind)); });
}

QString FaultMatrix::table() const {
    int first = int(QStringLiteral("endpoint").size());
    for (const QString& row : rows_) first = std::max(first, int(row.size()));
    QList<int> widths;
    for (const QString& kind : kinds_) {
        int width = int(kind.size());
        for (const QString& row : rows_) width = std::max(width, int(observed(row, kind).size()));
        widths << width;
    }
    auto line = [&](const QString& head, const QStringList& cells) {
        QString out = head.leftJustified(first);
        for (int i = 0; i < cells.size(); ++i) out += " | " + cells[i].leftJustified(widths[i]);
        return out + '\n';
    };
    QString out = line(QStringLiteral("endpoint"), kinds_);
    QStringList rule;
    for (int width : widths) rule << QString(width, '-');
    out += line(QString(first, '-'), rule);
    for (const QString& row : rows_) {
        if (!hasObserved(row)) continue;
        QStringList cells;
        for (const QString& kind : kinds_) cells << observed(row, kind);
        out += line(row, cells);
    }
    return out;
}

QStringList FaultMatrix::mismatches(const QStringList& rows) const {
    QStringList out;
    for (const QString& row : rows)
        for (const QString& kind : kinds_) {
            const QString want = expected(row, kind);
            const QString got = observed(row, kind);
            if (got != want)
                out << QStringLiteral("%1 / %2: observed \"%3\", expected \"%4\"")
                           .arg(row, kind, got.isEmpty() ? QStringLiteral("(not run)") : got, want);
        }
    return out;
}
