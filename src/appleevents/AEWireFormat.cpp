#include "appleevents/AEWireFormat.h"

namespace {

enum Tag : quint8 { TagScalar = 0, TagList = 1, TagRecord = 2, TagEvent = 3 };

// The smallest encoded descriptor: type, tag and a zero length or count.
constexpr qsizetype kMinDescriptorSize = 4 + 1 + 4;

void putU32(QByteArray& out, quint32 v) {
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

void putU16(QByteArray& out, quint16 v) {
    const char b[2] = {char(v >> 8), char(v)};
    out.append(b, 2);
}

bool encode(QByteArray& out, const AEDesc& d, int depth) {
    if (depth > AEWireFormat::kMaxDepth) return false;
    if (out.size() > qsizetype(AEWireFormat::kMaxPayload)) return false;
    putU32(out, d.descriptorType());
    switch (d.kind()) {
        case AEDesc::Kind::Scalar: {
            const QByteArray data = d.data();
            if (data.size() > qsizetype(AEWireFormat::kMaxPayload)) return false;
            out.append(char(TagScalar));
            putU32(out, quint32(data.size()));
            out.append(data);
            return true;
        }
        case AEDesc::Kind::List: {
            out.append(char(TagList));
            putU32(out, quint32(d.numberOfItems()));
            for (int i = 1; i <= d.numberOfItems(); ++i)
                if (!encode(out, *d.descriptorAtIndex(i), depth + 1)) return false;
            return true;
        }
        case AEDesc::Kind::Record: {
            out.append(char(TagRecord));
            putU32(out, quint32(d.fields().size()));
            for (const auto& [k, v] : d.fields()) {
                putU32(out, k);
                if (!encode(out, v, depth + 1)) return false;
            }
            return true;
        }
        case AEDesc::Kind::AppleEvent: {
            out.append(char(TagEvent));
            putU32(out, d.eventClass());
            putU32(out, d.eventID());
            for (const auto* list : {&d.attributes(), &d.fields()}) {
                putU32(out, quint32(list->size()));
                for (const auto& [k, v] : *list) {
                    putU32(out, k);
                    if (!encode(out, v, depth + 1)) return false;
                }
            }
            return true;
        }
    }
    return false;
}

class Reader {
  public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}

    qsizetype remaining() const { return bytes_.size() - pos_; }

    bool u32(quint32* v) {
        if (remaining() < 4) return fail("truncated");
        const auto* p = reinterpret_cast<const uchar*>(bytes_.constData() + pos_);
        *v = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
        pos_ += 4;
        return true;
    }

    bool u8(quint8* v) {
        if (remaining() < 1) return fail("truncated");
        *v = quint8(bytes_.at(pos_++));
        return true;
    }

    // A count of entries, each at least minEach bytes long, must fit in what
    // is left, so that a lying count is caught before anything is reserved.
    bool count(quint32* n, qsizetype minEach) {
        if (!u32(n)) return false;
        if (qsizetype(*n) > remaining() / minEach) return fail("count exceeds the bytes present");
        return true;
    }

    bool keyedEntries(AEDesc& target, int depth, bool attributes) {
        quint32 n;
        if (!count(&n, 4 + kMinDescriptorSize)) return false;
        for (quint32 i = 0; i < n; ++i) {
            quint32 key;
            AEDesc value;
            if (!u32(&key) || !descriptor(&value, depth + 1)) return false;
            if (attributes)
                target.setAttributeDescriptor(value, key);
            else
                target.setDescriptor(value, key);
        }
        return true;
    }

    bool descriptor(AEDesc* out, int depth) {
        if (depth > AEWireFormat::kMaxDepth) return fail("nesting too deep");
        quint32 type;
        quint8 tag;
        if (!u32(&type) || !u8(&tag)) return false;
        switch (tag) {
            case TagScalar: {
                quint32 len;
                if (!u32(&len)) return false;
                if (qsizetype(len) > remaining())
                    return fail("data length exceeds the bytes present");
                *out = AEDesc(type, bytes_.mid(pos_, len));
                pos_ += len;
                return true;
            }
            case TagList: {
                if (type != AECodes::typeAEList) return fail("list with a type other than 'list'");
                quint32 n;
                if (!count(&n, kMinDescriptorSize)) return false;
                AEDesc list = AEDesc::listDescriptor();
                for (quint32 i = 0; i < n; ++i) {
                    AEDesc item;
                    if (!descriptor(&item, depth + 1)) return false;
                    list.insertDescriptor(item, 0);
                }
                *out = std::move(list);
                return true;
            }
            case TagRecord: {
                AEDesc rec = AEDesc::recordDescriptor(type);
                if (!keyedEntries(rec, depth, false)) return false;
                *out = std::move(rec);
                return true;
            }
            case TagEvent: {
                if (type != AECodes::typeAppleEvent)
                    return fail("event with a type other than 'aevt'");
                quint32 cls, id;
                if (!u32(&cls) || !u32(&id)) return false;
                AEDesc ev = AEDesc::appleEvent(cls, id);
                if (!keyedEntries(ev, depth, true) || !keyedEntries(ev, depth, false)) return false;
                *out = std::move(ev);
                return true;
            }
            default:
                return fail(QStringLiteral("unknown descriptor tag %1").arg(tag));
        }
    }

    bool fail(const QString& why) {
        if (error_.isEmpty()) error_ = why;
        return false;
    }
    QString error() const { return error_; }

  private:
    const QByteArray& bytes_;
    qsizetype pos_ = 0;
    QString error_;
};

quint32 peekU32(const QByteArray& b, int at) {
    const auto* p = reinterpret_cast<const uchar*>(b.constData() + at);
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}

}  // namespace

std::optional<QByteArray> AEWireFormat::encodeDescriptor(const AEDesc& desc) {
    QByteArray out;
    if (!encode(out, desc, 0) || out.size() > qsizetype(kMaxPayload)) return std::nullopt;
    return out;
}

std::optional<QByteArray> AEWireFormat::encodeFrame(FrameKind kind, const AEDesc& event) {
    const auto payload = encodeDescriptor(event);
    if (!payload) return std::nullopt;
    QByteArray out;
    out.reserve(kHeaderSize + payload->size());
    putU32(out, kMagic);
    putU16(out, kVersion);
    putU16(out, quint16(kind));
    putU32(out, quint32(payload->size()));
    out.append(*payload);
    return out;
}

std::optional<AEDesc> AEWireFormat::decodeDescriptor(const QByteArray& bytes, QString* error) {
    Reader r(bytes);
    AEDesc d;
    if (!r.descriptor(&d, 0)) {
        if (error) *error = r.error();
        return std::nullopt;
    }
    if (r.remaining() != 0) {
        if (error) *error = QStringLiteral("trailing bytes after the descriptor");
        return std::nullopt;
    }
    return d;
}

AEWireFormat::Status AEWireFormat::takeFrame(QByteArray& buffer, FrameKind* kind, AEDesc* event,
                                             QString* error) {
    auto malformed = [&](const QString& why) {
        if (error) *error = why;
        return Status::Malformed;
    };
    // Check what has arrived of the header as soon as it arrives, so that a
    // stream of garbage is refused without waiting for twelve bytes.
    const char magic[4] = {'R', 'D', 'A', 'E'};
    for (int i = 0; i < qMin<qsizetype>(4, buffer.size()); ++i)
        if (buffer.at(i) != magic[i]) return malformed(QStringLiteral("bad magic"));
    if (buffer.size() < kHeaderSize) return Status::NeedMore;
    const quint16 version = quint16(peekU32(buffer, 4) >> 16);
    const quint16 rawKind = quint16(peekU32(buffer, 4) & 0xffff);
    const quint32 length = peekU32(buffer, 8);
    if (version != kVersion)
        return malformed(QStringLiteral("unsupported version %1").arg(version));
    if (rawKind != quint16(FrameKind::Event) && rawKind != quint16(FrameKind::Reply))
        return malformed(QStringLiteral("unknown frame kind %1").arg(rawKind));
    if (length > kMaxPayload)
        return malformed(QStringLiteral("frame length %1 too large").arg(length));
    if (buffer.size() < kHeaderSize + qsizetype(length)) return Status::NeedMore;

    const QByteArray payload = buffer.mid(kHeaderSize, length);
    buffer.remove(0, kHeaderSize + length);
    QString why;
    auto desc = decodeDescriptor(payload, &why);
    if (!desc) return malformed(why);
    if (!desc->isAppleEvent())
        return malformed(QStringLiteral("frame payload is not an Apple event"));
    *kind = FrameKind(rawKind);
    *event = std::move(*desc);
    return Status::Frame;
}
