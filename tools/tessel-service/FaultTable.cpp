#include "FaultTable.h"

namespace {
bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}
}  // namespace

const QStringList& FaultTable::endpoints() {
    static const QStringList names = {
        QStringLiteral("system"),   QStringLiteral("libraries"), QStringLiteral("library"),
        QStringLiteral("projects"), QStringLiteral("access"),    QStringLiteral("upload-location"),
        QStringLiteral("create"),   QStringLiteral("upload"),    QStringLiteral("update"),
    };
    return names;
}

const QStringList& FaultTable::kinds() {
    static const QStringList names = {
        QStringLiteral("error"), QStringLiteral("nomessage"), QStringLiteral("empty"),
        QStringLiteral("html"),  QStringLiteral("array"),     QStringLiteral("plist"),
        QStringLiteral("delay"), QStringLiteral("drop"),      QStringLiteral("401"),
        QStringLiteral("500"),
    };
    return names;
}

bool FaultTable::addSpec(const QString& specifier, QString* error) {
    const qsizetype eq = specifier.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return fail(error,
                    QStringLiteral("fault '%1' is not ENDPOINT=KIND[:ARG][@TIMES]").arg(specifier));
    QString rest = specifier.mid(eq + 1);
    int times = 0;
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        bool ok = false;
        times = rest.mid(at + 1).toInt(&ok);
        if (!ok || times < 1)
            return fail(error, QStringLiteral("fault '%1': bad @TIMES").arg(specifier));
        rest.truncate(at);
    }
    const qsizetype colon = rest.indexOf(QLatin1Char(':'));
    const QString kind = colon < 0 ? rest : rest.left(colon);
    const QString arg = colon < 0 ? QString() : rest.mid(colon + 1);
    return set(specifier.left(eq), kind, arg, times, error);
}

bool FaultTable::set(const QString& endpoint, const QString& kind, const QString& arg, int times,
                     QString* error) {
    if (!endpoints().contains(endpoint))
        return fail(error, QStringLiteral("unknown endpoint '%1' (one of %2)")
                               .arg(endpoint, endpoints().join(QStringLiteral(", "))));
    if (kind == QLatin1String("none")) {
        std::lock_guard lock(mutex_);
        faults_.erase(endpoint);
        return true;
    }
    if (!kinds().contains(kind))
        return fail(error, QStringLiteral("unknown fault kind '%1' (one of %2, none)")
                               .arg(kind, kinds().join(QStringLiteral(", "))));
    bool ok = true;
    if (kind == QLatin1String("delay")) {
        const int ms = arg.toInt(&ok);
        ok = ok && ms >= 0;
    } else if (kind == QLatin1String("error")) {
        arg.section(QLatin1Char(':'), 0, 0).toLongLong(&ok);
    }
    if (!ok)
        return fail(error,
                    QStringLiteral("fault %1 needs a number argument, got '%2'").arg(kind, arg));
    if (times < 0) return fail(error, QStringLiteral("fault times must not be negative"));
    std::lock_guard lock(mutex_);
    faults_[endpoint] = Fault{kind, arg, times};
    return true;
}

void FaultTable::clear() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::optional<FaultTable::Fault> FaultTable::take(const QString& endpoint) {
    std::lock_guard lock(mutex_);
    const auto it = faults_.find(endpoint);
    if (it == faults_.end()) return std::nullopt;
    Fault fault = it->second;
    if (it->second.remaining > 0 && --it->second.remaining == 0) faults_.erase(it);
    return fault;
}

QJsonObject FaultTable::toJson() const {
    std::lock_guard lock(mutex_);
    QJsonObject out;
    for (const auto& [endpoint, fault] : faults_)
        out.insert(endpoint, QJsonObject{{QStringLiteral("kind"), fault.kind},
                                         {QStringLiteral("arg"), fault.arg},
                                         {QStringLiteral("remaining"), fault.remaining}});
    return out;
}
