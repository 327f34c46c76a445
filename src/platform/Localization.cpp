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
