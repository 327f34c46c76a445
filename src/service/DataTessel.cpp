#include "service/DataTessel.h"

namespace {

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

QString DataTessel::base64Encoded(const QByteArray& data) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    QString out;
    out.reserve((data.size() + 2) / 3 * 4);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    qsizetype i = 0;
    for (; i + 2 < n; i += 3) {
        const quint32 group =
            (quint32(bytes[i]) << 16) | (quint32(bytes[i + 1]) << 8) | bytes[i + 2];
        out += QLatin1Char(alphabet[(group >> 18) & 63]);
        out += QLatin1Char(alphabet[(group >> 12) & 63]);
        out += QLatin1Char(alphabet[(group >> 6) & 63]);
        out += QLatin1Char(alphabet[group & 63]);
    }
    if (n - i == 1) {
        const quint32 group = quint32(bytes[i]) << 16;
        out += QLatin1Char(alphabet[(group >> 18) & 63]);
        out += QLatin1Char(alphabet[(group >> 12) & 63]);
        out += QLatin1String("==");
    } else if (n - i == 2) {
        const quint32 group = (quint32(bytes[i]) << 16) | (quint32(bytes[i + 1]) << 8);
        out += QLatin1Char(alphabet[(group >> 18) & 63]);
        out += QLatin1Char(alphabet[(group >> 12) & 63]);
        out += QLatin1Char(alphabet[(group >> 6) & 63]);
        out += QLatin1Char('=');
    }
    return out;
}

QByteArray DataTessel::base64Decoded(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size() / 4 * 3);
    int group[4] = {0, 0, 0, 0};
    int count = 0;
    bool closed = false;
    for (const char c : text) {
        if (c == '=') {
            closed = true;
            break;
        }
        const int value = sextet(c);
        if (value < 0) continue;
        group[count++] = value;
        if (count == 4) {
            out += char((group[0] << 2) | (group[1] >> 4));
            out += char(((group[1] & 15) << 4) | (group[2] >> 2));
            out += char(((group[2] & 3) << 6) | group[3]);
            group[0] = group[1] = group[2] = group[3] = 0;
            count = 0;
        }
    }
    if (closed) {
        if (count == 1 || count == 2) {
            out += char((group[0] << 2) | (group[1] >> 4));
        } else if (count == 3) {
            out += char((group[0] << 2) | (group[1] >> 4));
            out += char(((group[1] & 15) << 4) | (group[2] >> 2));
        }
    }
    return out;
}
