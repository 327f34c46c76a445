#include "export/ExportListReader.h"

#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include <QThread>

#include <plist/plist.h>

#include "platform/PropertyList.h"

namespace {

// Smaller documents are not worth a thread.
constexpr qsizetype kMinParallelBytes = 256 * 1024;
constexpr qsizetype kRunElements = 256;

class Scanner {
  public:
    explicit Scanner(const QByteArray& data) : p_(data.constData()), size_(data.size()) {}

    bool atEnd() const { return pos_ >= size_; }
    qsizetype pos() const { return pos_; }

    bool startsWith(const char* text) const {
        const qsizetype n = qsizetype(std::strlen(text));
        return pos_ + n <= size_ && std::memcmp(p_ + pos_, text, size_t(n)) == 0;
    }
    // Moves past the next occurrence of text; false when there is none.
    bool skipPast(const char* text) {
        const qsizetype n = qsizetype(std::strlen(text));
        const void* found = memmem(p_ + pos_, size_t(size_ - pos_), text, size_t(n));
        if (!found) return false;
        pos_ = static_cast<const char*>(found) - p_ + n;
        return true;
    }
    void skipSpace() {
        while (pos_ < size_ &&
               (p_[pos_] == ' ' || p_[pos_] == '\t' || p_[pos_] == '\n' || p_[pos_] == '\r'))
            ++pos_;
    }
    // Whitespace, comments and processing instructions between elements.
    bool skipMisc() {
        for (;;) {
            skipSpace();
            if (startsWith("<!--")) {
                if (!skipPast("-->")) return false;
            } else if (startsWith("<?")) {
                if (!skipPast("?>")) return false;
            } else {
                return true;
            }
        }
    }
    // Past the '>' of the tag starting here (quoted attribute values may
    // hold '>'); sets selfClosing. False when the tag does not end.
    bool skipTag(bool* selfClosing) {
        char quote = 0;
        for (qsizetype i = pos_ + 1; i < size_; ++i) {
            const char c = p_[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                *selfClosing = p_[i - 1] == '/';
                pos_ = i + 1;
                return true;
            }
        }
        return false;
    }
    // Past one whole element starting at '<'.
    bool skipElement() {
        int depth = 0;
        for (;;) {
            if (pos_ >= size_ || p_[pos_] != '<') {
                const void* next =
                    std::memchr(p_ + pos_, '<', size_t(std::max<qsizetype>(0, size_ - pos_)));
                if (!next) return false;
                pos_ = static_cast<const char*>(next) - p_;
            }
            if (startsWith("<!--")) {
                if (!skipPast("-->")) return false;
            } else if (startsWith("<![CDATA[")) {
                if (!skipPast("]]>")) return false;
            } else if (startsWith("<?")) {
                if (!skipPast("?>")) return false;
            } else if (startsWith("<!")) {
                return false;
            } else if (startsWith("</")) {
                if (!skipPast(">")) return false;
                if (--depth <= 0) return depth == 0;
            } else {
                bool selfClosing = false;
                if (!skipTag(&selfClosing)) return false;
                if (!selfClosing)
                    ++depth;
                else if (depth == 0)
                    return true;
            }
        }
    }

  private:
    const char* p_;
    qsizetype size_;
    qsizetype pos_ = 0;
};

// The common property-list types straight from libplist's tree, with
// dictionary keys appended in the order they come (sorted in lists this
// agent writes, so each insertion lands at the end). False for anything
// else (dates, data, identifiers, integers beyond 64-bit signed, excessive
// nesting): the caller then leaves the piece to PropertyList.
constexpr int kMaxDepth = 512;

struct TreeDeleter {
    void operator()(void* node) const { plist_free(node); }
};

bool isNegative(plist_t node) {
    std::unique_ptr<void, TreeDeleter> copy(plist_copy(node));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(copy.get(), &xml, &length);
    if (!xml) return false;
    const char* start = static_cast<const char*>(memmem(xml, length, "<integer>", 9));
    const bool negative = start && start + 9 < xml + length && start[9] == '-';
    plist_to_xml_free(xml);
    return negative;
}

bool convert(plist_t node, QVariant& out, int depth) {
    if (depth > kMaxDepth) return false;
    switch (plist_get_node_type(node)) {
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            out = QString::fromUtf8(text ? text : "", text ? qsizetype(length) : 0);
            return true;
        }
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            out = bool(value);
            return true;
        }
        case PLIST_UINT: {
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            // libplist keeps negative and huge unsigned values alike; only
            // its XML writer tells them apart (-1, common here, is one).
            if (value > uint64_t(std::numeric_limits<qint64>::max()) && !isNegative(node))
                return false;
            out = qint64(value);
            return true;
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            out = value;
            return true;
        }
        case PLIST_ARRAY: {
            QVariantList list;
            const uint32_t count = plist_array_get_size(node);
            list.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                QVariant value;
                if (!convert(plist_array_get_item(node, i), value, depth + 1)) return false;
                list.append(std::move(value));
            }
            out = std::move(list);
            return true;
        }
        case PLIST_DICT: {
            QVariantMap map;
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            bool ok = true;
            while (iter) {
                char* key = nullptr;
                plist_t child = nullptr;
                plist_dict_next_item(node, iter, &key, &child);
                if (!child) {
                    free(key);
                    break;
                }
                QVariant value;
                ok = convert(child, value, depth + 1);
                const QString name = QString::fromUtf8(key ? key : "");
                free(key);
                if (!ok) break;
                map.insert(map.cend(), name, std::move(value));
            }
            free(iter);
            if (ok) out = std::move(map);
            return ok;
        }
        default:
            return false;
    }
}

// One element of the root array, parsed in place (libplist takes a bare
// element as a document), then converted; PropertyList takes over when the
// element holds something the fast conversion leaves alone.
std::optional<QVariant> readElement(const char* begin, qsizetype size) {
    plist_t root = nullptr;
    plist_from_xml(begin, uint32_t(size), &root);
    std::unique_ptr<void, TreeDeleter> owner(root);
    if (!root) return std::nullopt;
    QVariant value;
    if (convert(root, value, 1)) return value;
    QByteArray doc("<plist version=\"1.0\">");
    doc.append(begin, size).append("</plist>");
    return PropertyList::read(doc);
}

std::optional<QVariantList> readWhole(const QByteArray& data, QString* error) {
    const auto root = PropertyList::read(data, error);
    if (!root) return std::nullopt;
    if (root->typeId() != QMetaType::QVariantList) {
        if (error) *error = QStringLiteral("the root is not an array");
        return std::nullopt;
    }
    return root->toList();
}

}  // namespace

namespace ExportListReader {

std::optional<QList<std::pair<qsizetype, qsizetype>>> elementRanges(const QByteArray& data) {
    Scanner scan(data);
    if (!scan.skipMisc()) return std::nullopt;
    if (scan.startsWith("<!DOCTYPE")) {
        // A document type with an internal subset may declare entities the
        // pieces would not know.
        const qsizetype open = data.indexOf('[', scan.pos());
        const qsizetype close = data.indexOf('>', scan.pos());
        if (close < 0 || (open >= 0 && open < close)) return std::nullopt;
        if (!scan.skipPast(">") || !scan.skipMisc()) return std::nullopt;
    }
    bool selfClosing = false;
    if (!scan.startsWith("<plist") || !scan.skipTag(&selfClosing) || selfClosing)
        return std::nullopt;
    if (!scan.skipMisc()) return std::nullopt;
    QList<std::pair<qsizetype, qsizetype>> ranges;
    if (scan.startsWith("<array/>")) {
        scan.skipPast(">");
    } else {
        if (!scan.startsWith("<array>")) return std::nullopt;
        scan.skipPast(">");
        for (;;) {
            if (!scan.skipMisc()) return std::nullopt;
            if (scan.startsWith("</array>")) {
                scan.skipPast(">");
                break;
            }
            if (!scan.startsWith("<") || scan.startsWith("</")) return std::nullopt;
            const qsizetype begin = scan.pos();
            if (!scan.skipElement()) return std::nullopt;
            ranges.append({begin, scan.pos()});
        }
    }
    if (!scan.skipMisc() || !scan.startsWith("</plist>")) return std::nullopt;
    scan.skipPast(">");
    if (!scan.skipMisc() || !scan.atEnd()) return std::nullopt;
    return ranges;
}

bool readElements(const QByteArray& data, const ElementSink& sink, QString* error, int threads) {
    auto whole = [&] {
        const auto all = readWhole(data, error);
        if (!all) return false;
        sink.begin(all->size());
        for (qsizetype i = 0; i < all->size(); ++i) sink.element(i, QVariant((*all)[i]), {});
        return true;
    };
    if (threads <= 0) threads = std::clamp(QThread::idealThreadCount(), 1, 4);
    const auto ranges = elementRanges(data);
    if (!ranges) return whole();
    if (data.size() < kMinParallelBytes) threads = 1;

    // Elements are parsed one by one where they lie, in runs shared out to
    // the threads. (libplist 2.2 finds an array's n-th element by walking
    // from the first, so one long array would cost time in the square of
    // its length.)
    const qsizetype count = ranges->size();
    sink.begin(count);
    std::atomic<qsizetype> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (qsizetype first = next.fetch_add(kRunElements); first < count && !failed;
             first = next.fetch_add(kRunElements)) {
            const qsizetype last = std::min(first + kRunElements, count);
            for (qsizetype i = first; i < last; ++i) {
                const auto [begin, end] = (*ranges)[i];
                auto value = readElement(data.constData() + begin, end - begin);
                if (!value) {
                    failed = true;
                    return;
                }
                sink.element(i, std::move(*value),
                             QByteArrayView(data.constData() + begin, end - begin));
            }
        }
    };
    const int helpers =
        int(std::min<qsizetype>(threads, (count + kRunElements - 1) / kRunElements)) - 1;
    std::vector<std::thread> workers;
    for (int i = 0; i < helpers; ++i) workers.emplace_back(work);
    work();
    for (auto& worker : workers) worker.join();
    // An element that does not read on its own: the plain reader judges
    // the whole document.
    if (failed) return whole();
    return true;
}

std::optional<QVariantList> readArray(const QByteArray& data, QString* error, int threads) {
    QVariantList all;
    QVariant* out = nullptr;
    const ElementSink sink{
        [&](qsizetype count) {
            all = QVariantList(count);
            out = all.data();  // detached once, before the threads
        },
        [&](qsizetype index, QVariant&& value, QByteArrayView) { out[index] = std::move(value); }};
    if (!readElements(data, sink, error, threads)) return std::nullopt;
    return all;
}

}  // namespace ExportListReader
