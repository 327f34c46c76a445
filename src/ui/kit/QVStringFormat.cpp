#include "ui/kit/QVStringFormat.h"

namespace QVStringFormat {

QString format(const QString& fmt, const QStringList& arguments) {
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

}  // namespace QVStringFormat
