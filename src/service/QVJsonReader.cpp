#include "service/QVJsonReader.h"

#include <charconv>
#include <cmath>
#include <vector>

#include <QVariantList>
#include <QVariantMap>

namespace {

// One open container. Objects remember the key whose value is being read.
struct Frame {
    bool object = false;
    QVariantList list;
    QVariantMap map;
    QString key;
};

class Parser {
  public:
    Parser(const QByteArray& json, const QVJsonReader::Limits& limits)
        : p_(json.constData()),
          begin_(json.constData()),
          end_(json.constData() + json.size()),
          limits_(limits) {}

    std::optional<QVariant> run();

    QVJsonReader::Failure failure() const { return {message_, offset_}; }

  private:
    bool fail(const char* message) {
        if (message_.isEmpty()) {
            message_ = QString::fromLatin1(message);
            offset_ = p_ - begin_;
        }
        return false;
    }
    void skipSpace() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }
    bool literal(const char* word, qsizetype length) {
        if (end_ - p_ < length || memcmp(p_, word, size_t(length)) != 0)
            return fail("unknown literal");
        p_ += length;
        return true;
    }
    bool open(bool object);
    bool scalar(QVariant* value);
    bool string(QString* out);
    bool escape(QString* out);
    bool hex4(char16_t* unit);
    bool utf8(QString* out);
    bool number(QVariant* value);
    bool key();

    const char* p_;
    const char* const begin_;
    const char* const end_;
    const QVJsonReader::Limits limits_;
    std::vector<Frame> stack_;
    QString message_;
    qsizetype offset_ = 0;
};

std::optional<QVariant> Parser::run() {
    if (end_ - begin_ > limits_.maxBytes) {
        fail("the document exceeds the size limit");
        return std::nullopt;
    }
    QVariant value;
    for (;;) {
        // A value is expected here.
        skipSpace();
        if (p_ == end_) {
            fail("unexpected end of the document");
            return std::nullopt;
        }
        if (*p_ == '{' || *p_ == '[') {
            const bool object = *p_ == '{';
            ++p_;
            if (!open(object)) return std::nullopt;
            skipSpace();
            const char close = object ? '}' : ']';
            if (p_ < end_ && *p_ == close) {
                ++p_;
                value = object ? QVariant(stack_.back().map) : QVariant(stack_.back().list);
                stack_.pop_back();
            } else {
                if (object && !key()) return std::nullopt;
                continue;
            }
        } else if (!scalar(&value)) {
            return std::nullopt;
        }

        // A complete value: hand it to the open containers, closing as many
        // as end right after it.
        for (;;) {
            if (stack_.empty()) {
                skipSpace();
                if (p_ != end_) {
                    fail("unexpected data after the document");
                    return std::nullopt;
                }
                return value;
            }
            Frame& top = stack_.back();
            if (top.object)
                top.map.insert(top.key, value);
            else
                top.list.append(value);
            value = QVariant();
            skipSpace();
            if (p_ == end_) {
                fail("unexpected end of the document");
                return std::nullopt;
            }
            const char c = *p_++;
            if (c == ',') {
                if (top.object && !key()) return std::nullopt;
                break;
            }
            if (c != (top.object ? '}' : ']')) {
                --p_;
                fail(top.object ? "expected ',' or '}'" : "expected ',' or ']'");
                return std::nullopt;
            }
            value = top.object ? QVariant(top.map) : QVariant(top.list);
            stack_.pop_back();
        }
    }
}

bool Parser::open(bool object) {
    if (stack_.size() >= size_t(limits_.maxDepth)) {
        --p_;
        return fail("the document nests deeper than the depth limit");
    }
    stack_.emplace_back();
    stack_.back().object = object;
    return true;
}

// Reads `"key" :` into the open object.
bool Parser::key() {
    skipSpace();
    if (p_ == end_ || *p_ != '"') return fail("expected a string key");
    QString name;
    if (!string(&name)) return false;
    skipSpace();
    if (p_ == end_ || *p_ != ':') return fail("expected ':'");
    ++p_;
    stack_.back().key = std::move(name);
    return true;
}

bool Parser::scalar(QVariant* value) {
    switch (*p_) {
        case '"': {
            QString text;
            if (!string(&text)) return false;
            *value = text;
            return true;
        }
        case 't':
            *value = true;
            return literal("true", 4);
        case 'f':
            *value = false;
            return literal("false", 5);
        case 'n':
            *value = QVariant::fromValue(nullptr);
            return literal("null", 4);
        default:
            if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return number(value);
            return fail("expected a value");
    }
}

bool Parser::string(QString* out) {
    ++p_;  // the opening quote
    for (;;) {
        const char* run = p_;
        while (p_ < end_ && static_cast<unsigned char>(*p_) >= 0x20 && *p_ != '"' && *p_ != '\\' &&
               static_cast<unsigned char>(*p_) < 0x80)
            ++p_;
        if (p_ > run) out->append(QLatin1String(run, p_ - run));
        if (p_ == end_) return fail("unterminated string");
        const unsigned char c = static_cast<unsigned char>(*p_);
        if (c == '"') {
            ++p_;
            return true;
        }
        if (c == '\\') {
            if (!escape(out)) return false;
        } else if (c < 0x20) {
            return fail("control character in a string");
        } else if (!utf8(out)) {
            return false;
        }
    }
}

bool Parser::escape(QString* out) {
    ++p_;  // the backslash
    if (p_ == end_) return fail("unterminated escape");
    const char c = *p_++;
    switch (c) {
        case '"':
            out->append(QLatin1Char('"'));
            return true;
        case '\\':
            out->append(QLatin1Char('\\'));
            return true;
        case '/':
            out->append(QLatin1Char('/'));
            return true;
        case 'b':
            out->append(QLatin1Char('\b'));
            return true;
        case 'f':
            out->append(QLatin1Char('\f'));
            return true;
        case 'n':
            out->append(QLatin1Char('\n'));
            return true;
        case 'r':
            out->append(QLatin1Char('\r'));
            return true;
        case 't':
            out->append(QLatin1Char('\t'));
            return true;
        case 'u':
            break;
        default:
            --p_;
            return fail("unknown escape");
    }
    char16_t unit = 0;
    if (!hex4(&unit)) return false;
    // The grammar allows a surrogate escape without its partner; such a
    // half character becomes U+FFFD so that every string stays valid UTF-16.
    if (!QChar::isSurrogate(unit)) {
        out->append(QChar(unit));
        return true;
    }
    if (QChar::isHighSurrogate(unit) && end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
        const char* pair = p_;
        p_ += 2;
        char16_t low = 0;
        if (!hex4(&low)) return false;
        if (QChar::isLowSurrogate(low)) {
            out->append(QChar(unit));
            out->append(QChar(low));
            return true;
        }
        p_ = pair;  // the next escape stands on its own
    }
    out->append(QChar(QChar::ReplacementCharacter));
    return true;
}

bool Parser::hex4(char16_t* unit) {
    if (end_ - p_ < 4) return fail("short \\u escape");
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = *p_;
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else
            return fail("bad hex digit in \\u escape");
        value = value * 16 + digit;
        ++p_;
    }
    *unit = char16_t(value);
    return true;
}

// One multi-byte UTF-8 sequence: shortest form only, no surrogates, at most
// U+10FFFF.
bool Parser::utf8(QString* out) {
    const auto byte = [this](qsizetype i) { return static_cast<unsigned char>(p_[i]); };
    const unsigned char lead = byte(0);
    int length;
    char32_t code;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return fail("invalid UTF-8");
    }
    if (end_ - p_ < length) return fail("invalid UTF-8");
    for (int i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return fail("invalid UTF-8");
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return fail("invalid UTF-8");
    p_ += length;
    if (QChar::requiresSurrogates(code)) {
        out->append(QChar(QChar::highSurrogate(code)));
        out->append(QChar(QChar::lowSurrogate(code)));
    } else {
        out->append(QChar(char16_t(code)));
    }
    return true;
}

bool Parser::number(QVariant* value) {
    const char* start = p_;
    const auto digits = [this] {
        const char* from = p_;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
        return p_ - from;
    };
    if (*p_ == '-') ++p_;
    if (p_ == end_) return fail("bad number");
    if (*p_ == '0') {
        ++p_;
        if (p_ < end_ && *p_ >= '0' && *p_ <= '9') return fail("leading zero in a number");
    } else if (digits() == 0) {
        return fail("bad number");
    }
    // The decimal magnitude tells an underflow (read as zero) from an overflow.
    const bool zeroInteger = p_ - start == 1 + (*start == '-') && p_[-1] == '0';
    qint64 magnitude = zeroInteger ? 0 : p_ - start - (*start == '-');
    bool integral = true;
    if (p_ < end_ && *p_ == '.') {
        ++p_;
        integral = false;
        const char* fraction = p_;
        if (digits() == 0) return fail("bad fraction");
        if (zeroInteger) {
            const char* firstNonZero = fraction;
            while (firstNonZero < p_ && *firstNonZero == '0') ++firstNonZero;
            magnitude = -(firstNonZero - fraction);
        }
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
        ++p_;
        integral = false;
        bool negative = false;
        if (p_ < end_ && (*p_ == '+' || *p_ == '-')) negative = *p_++ == '-';
        const char* exponent = p_;
        if (digits() == 0) return fail("bad exponent");
        qint64 e = 0;
        if (std::from_chars(exponent, p_, e).ec != std::errc()) e = 1'000'000'000;
        magnitude += negative ? -e : e;
    }
    if (integral) {
        qint64 integer = 0;
        const auto [end, error] = std::from_chars(start, p_, integer);
        if (error == std::errc() && end == p_) {
            *value = integer;
            return true;
        }
    }
    double real = 0;
    const auto [end, error] = std::from_chars(start, p_, real);
    if (error == std::errc::result_out_of_range && magnitude < 0) {
        real = *start == '-' ? -0.0 : 0.0;  // too small to tell from zero
    } else if (error != std::errc() || end != p_ || !std::isfinite(real)) {
        p_ = start;
        return fail("number out of range");
    }
    // Integral values read as integers however they are written ("1.0",
    // "1e2"), as Qt's reader has always handed them to the service client.
    if (std::trunc(real) == real && real >= -9223372036854775808.0 && real < 9223372036854775808.0)
        *value = qint64(real);
    else
        *value = real;
    return true;
}

}  // namespace

std::optional<QVariant> QVJsonReader::read(const QByteArray& json, Failure* failure) {
    return read(json, Limits(), failure);
}

std::optional<QVariant> QVJsonReader::read(const QByteArray& json, const Limits& limits,
                                           Failure* failure) {
    Parser parser(json, limits);
    auto value = parser.run();
    if (!value && failure) *failure = parser.failure();
    return value;
}
