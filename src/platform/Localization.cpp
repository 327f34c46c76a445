#include "platform/Localization.h"

#include <mutex>

#include <QFile>
#include <QHash>

#include "platform/QVLog.h"
#include "platform/Resources.h"

namespace {

// Parser of the "key" = "text"; string table syntax, with /* */ and //
// comments and the escapes \" \\ \n \t \r and \Uxxxx.
class StringsParser {
  public:
    explicit StringsParser(const QString& text) : s_(text) {}

    QHash<QString, QString> parse() {
        QHash<QString, QString> table;
        while (true) {
            skipSpace();
            if (pos_ >= s_.size()) break;
            QString key, value;
            if (!readString(key)) break;
            skipSpace();
            if (!expect(u'=')) break;
            skipSpace();
            if (!readString(value)) break;
            skipSpace();
            if (!expect(u';')) break;
            table.insert(key, value);
        }
        if (pos_ < s_.size())
            qCWarning(lcRelaydock) << "String table: syntax error at offset" << pos_;
        return table;
    }

  private:
    void skipSpace() {
        while (pos_ < s_.size()) {
            const QChar c = s_.at(pos_);
            if (c.isSpace()) {
                ++pos_;
            } else if (s_.mid(pos_, 2) == QLatin1String("/*")) {
                const qsizetype end = s_.indexOf(QLatin1String("*/"), pos_ + 2);
                pos_ = end < 0 ? s_.size() : end + 2;
            } else if (s_.mid(pos_, 2) == QLatin1String("//")) {
                const qsizetype end = s_.indexOf(u'\n', pos_);
                pos_ = end < 0 ? s_.size() : end + 1;
            } else {
                break;
            }
        }
    }

    bool expect(QChar c) {
        if (pos_ < s_.size() && s_.at(pos_) == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool readString(QString& out) {
        if (!expect(u'"')) return false;
        while (pos_ < s_.size()) {
            const QChar c = s_.at(pos_++);
            if (c == u'"') return true;
            if (c != u'\\') {
                out.append(c);
                continue;
            }
            if (pos_ >= s_.size()) return false;
            const QChar e = s_.at(pos_++);
            switch (e.unicode()) {
                case 'n':
                    out.append(u'\n');
                    break;
                case 't':
                    out.append(u'\t');
                    break;
                case 'r':
                    out.append(u'\r');
                    break;
                case 'U':
                case 'u': {
                    bool ok = false;
                    const uint code = s_.mid(pos_, 4).toUInt(&ok, 16);
                    if (!ok) return false;
                    out.append(QChar(char16_t(code)));
                    pos_ += 4;
                    break;
                }
                default:
                    out.append(e);
                    break;
            }
        }
        return false;
    }

    const QString& s_;
    qsizetype pos_ = 0;
};

const QHash<QString, QString>& table() {
    static QHash<QString, QString> strings;
    static std::once_flag once;
    std::call_once(once, [] {
        Resources::ensureLoaded();
        QFile file(QStringLiteral(":/strings/en.strings"));
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcRelaydock) << "String table missing";
            return;
        }
        const QString text = QString::fromUtf8(file.readAll());
        strings = Localization::parseTable(text);
    });
    return strings;
}

}  // namespace

QString Localization::localizedString(const QString& key) {
    const auto& strings = table();
    auto it = strings.constFind(key);
    return it == strings.constEnd() ? key : it.value();
}

QHash<QString, QString> Localization::parseTable(const QString& text) {
    return StringsParser(text).parse();
}

QString Localization::localized(const char* key, const QStringList& arguments) {
    const QString text = localizedString(QString::fromUtf8(key));
    return arguments.isEmpty() ? text : format(text, arguments);
}

QString Localization::localizedOr(const char* key, const char* fallback) {
    const QString text = localized(key);
    return text == QString::fromUtf8(key) ? QString::fromUtf8(fallback) : text;
}

QString Localization::format(const QString& fmt, const QStringList& arguments) {
    static const QString kConversions = QStringLiteral("@dius");
    QString out;
    out.reserve(fmt.size() + 32);
    int next = 0;
    const qsizetype n = fmt.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = fmt.at(i);
        if (c != u'%' || i + 1 >= n) {
            out.append(c);
            continue;
        }
        if (fmt.at(i + 1) == u'%') {
            out.append(u'%');
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        int position = -1;
        qsizetype k = j;
        while (k < n && fmt.at(k).isDigit()) ++k;
        if (k > j && k < n && fmt.at(k) == u'$') {
            position = fmt.mid(j, k - j).toInt() - 1;
            j = k + 1;
        }
        while (j < n && fmt.at(j) == u'l') ++j;
        if (j < n && kConversions.contains(fmt.at(j))) {
            const int index = position >= 0 ? position : next++;
            if (index >= 0 && index < arguments.size()) out.append(arguments.at(index));
            i = j;
            continue;
        }
        out.append(c);
    }
    return out;
}
