#include "JsonTree.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

enum class State { Value, FirstKeyOrEnd, Key, FirstValueOrEnd, AfterValue };

void skipSpace(const QByteArray& text, qsizetype& pos) {
    while (pos < text.size()) {
        const char c = text[pos];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
        ++pos;
    }
}

bool fail(QString* error, const QString& what, qsizetype pos) {
    if (error) *error = QStringLiteral("%1 at offset %2").arg(what).arg(pos);
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

int JsonTree::add(Kind kind) {
    nodes_.emplace_back();
    nodes_.back().kind = kind;
    return static_cast<int>(nodes_.size() - 1);
}

bool JsonTree::parseString(const QByteArray& text, qsizetype& pos, QString& out, QString* error) {
    // pos is at the opening quote.
    ++pos;
    QByteArray utf8;
    QString result;
    auto flush = [&] {
        result += QString::fromUtf8(utf8);
        utf8.clear();
    };
    while (true) {
        if (pos >= text.size()) return fail(error, QStringLiteral("unterminated string"), pos);
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return fail(error, QStringLiteral("control character in string"), pos);
        if (c != '\\') {
            utf8.append(c);
            ++pos;
            continue;
        }
        if (pos + 1 >= text.size()) return fail(error, QStringLiteral("unterminated escape"), pos);
        const char e = text[pos + 1];
        pos += 2;
        switch (e) {
            case '"':
                utf8.append('"');
                break;
            case '\\':
                utf8.append('\\');
                break;
            case '/':
                utf8.append('/');
                break;
            case 'b':
                utf8.append('\b');
                break;
            case 'f':
                utf8.append('\f');
                break;
            case 'n':
                utf8.append('\n');
                break;
            case 'r':
                utf8.append('\r');
                break;
            case 't':
                utf8.append('\t');
                break;
            case 'u': {
                if (pos + 4 > text.size())
                    return fail(error, QStringLiteral("short \\u escape"), pos);
                int unit = 0;
                for (int i = 0; i < 4; ++i) {
                    const int h = hexValue(text[pos + i]);
                    if (h < 0) return fail(error, QStringLiteral("bad \\u escape"), pos);
                    unit = unit * 16 + h;
                }
                pos += 4;
                flush();
                result += QChar(static_cast<char16_t>(unit));
                break;
            }
            default:
                return fail(error, QStringLiteral("unknown escape"), pos - 1);
        }
    }
    flush();
    out = result;
    return true;
}

bool JsonTree::parseNumber(const QByteArray& text, qsizetype& pos, int index, QString* error) {
    const qsizetype start = pos;
    bool integral = true;
    if (pos < text.size() && text[pos] == '-') ++pos;
    const qsizetype digits = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    if (pos == digits) return fail(error, QStringLiteral("unexpected character"), start);
    if (pos < text.size() && text[pos] == '.') {
        integral = false;
        ++pos;
        const qsizetype fraction = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
        if (pos == fraction) return fail(error, QStringLiteral("bad number"), start);
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        integral = false;
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
        const qsizetype exponent = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
        if (pos == exponent) return fail(error, QStringLiteral("bad number"), start);
    }
    const std::string slice(text.constData() + start, static_cast<size_t>(pos - start));
    Node& n = nodes_[static_cast<size_t>(index)];
    n.number = std::strtod(slice.c_str(), nullptr);
    if (integral) {
        bool ok = false;
        n.integer = QByteArray::fromStdString(slice).toLongLong(&ok);
        n.integral = ok;
    } else if (std::isfinite(n.number) && n.number == std::floor(n.number) &&
               std::fabs(n.number) < 9.0e18) {
        n.integer = static_cast<qint64>(n.number);
        n.integral = true;
    }
    return true;
}

bool JsonTree::parse(const QByteArray& text, QString* error) {
    nodes_.clear();
    std::vector<int> stack;  // open containers
    QString pendingKey;
    State state = State::Value;
    qsizetype pos = 0;

    auto attach = [&](int index) {
        if (stack.empty()) return;
        Node& parent = nodes_[static_cast<size_t>(stack.back())];
        if (parent.kind == Kind::Object)
            parent.members.emplace_back(pendingKey, index);
        else
            parent.items.push_back(index);
    };

    while (true) {
        skipSpace(text, pos);
        if (state == State::AfterValue && stack.empty()) {
            if (pos != text.size()) return fail(error, QStringLiteral("trailing characters"), pos);
            return true;
        }
        if (pos >= text.size()) return fail(error, QStringLiteral("unexpected end of input"), pos);
        const char c = text[pos];

        if (state == State::AfterValue) {
            const Kind top = nodes_[static_cast<size_t>(stack.back())].kind;
            if (c == ',') {
                ++pos;
                state = top == Kind::Object ? State::Key : State::Value;
            } else if ((c == '}' && top == Kind::Object) || (c == ']' && top == Kind::Array)) {
                ++pos;
                stack.pop_back();
            } else {
                return fail(error, QStringLiteral("expected ',' or a closing bracket"), pos);
            }
            continue;
        }

        if (state == State::FirstKeyOrEnd || state == State::Key) {
            if (c == '}' && state == State::FirstKeyOrEnd) {
                ++pos;
                stack.pop_back();
                state = State::AfterValue;
                continue;
            }
            if (c != '"') return fail(error, QStringLiteral("expected a member name"), pos);
            if (!parseString(text, pos, pendingKey, error)) return false;
            skipSpace(text, pos);
            if (pos >= text.size() || text[pos] != ':')
                return fail(error, QStringLiteral("expected ':'"), pos);
            ++pos;
            state = State::Value;
            continue;
        }

        if (state == State::FirstValueOrEnd && c == ']') {
            ++pos;
            stack.pop_back();
            state = State::AfterValue;
            continue;
        }

        // A value.
        if (c == '{' || c == '[') {
            const int index = add(c == '{' ? Kind::Object : Kind::Array);
            attach(index);
            stack.push_back(index);
            ++pos;
            state = c == '{' ? State::FirstKeyOrEnd : State::FirstValueOrEnd;
            continue;
        }
        int index = -1;
        if (c == '"') {
            QString s;
            if (!parseString(text, pos, s, error)) return false;
            index = add(Kind::String);
            nodes_[static_cast<size_t>(index)].string = s;
        } else if (text.mid(pos, 4) == "true" || text.mid(pos, 5) == "false") {
            const bool value = text[pos] == 't';
            pos += value ? 4 : 5;
            index = add(Kind::Bool);
            nodes_[static_cast<size_t>(index)].boolean = value;
        } else if (text.mid(pos, 4) == "null") {
            pos += 4;
            index = add(Kind::Null);
        } else {
            index = add(Kind::Number);
            if (!parseNumber(text, pos, index, error)) return false;
        }
        attach(index);
        state = State::AfterValue;
    }
}

int JsonTree::member(int object, const QString& key) const {
    if (object < 0 || node(object).kind != Kind::Object) return -1;
    const auto& members = node(object).members;
    for (auto it = members.rbegin(); it != members.rend(); ++it)
        if (it->first == key) return it->second;
    return -1;
}

QString JsonTree::stringMember(int object, const QString& key, const QString& fallback,
                               bool* ok) const {
    const int index = member(object, key);
    if (index < 0 || kind(index) == Kind::Null) return fallback;
    if (kind(index) != Kind::String) {
        if (ok) *ok = false;
        return fallback;
    }
    return node(index).string;
}

qint64 JsonTree::integerMember(int object, const QString& key, qint64 fallback, bool* ok) const {
    const int index = member(object, key);
    if (index < 0 || kind(index) == Kind::Null) return fallback;
    if (kind(index) == Kind::Bool) return node(index).boolean ? 1 : 0;
    if (kind(index) != Kind::Number || !node(index).integral) {
        if (ok) *ok = false;
        return fallback;
    }
    return node(index).integer;
}

bool JsonTree::boolMember(int object, const QString& key, bool fallback, bool* ok) const {
    const int index = member(object, key);
    if (index < 0 || kind(index) == Kind::Null) return fallback;
    if (kind(index) == Kind::Bool) return node(index).boolean;
    if (kind(index) == Kind::Number) return node(index).number != 0;
    if (ok) *ok = false;
    return fallback;
}
