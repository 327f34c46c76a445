#pragma once

#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUrl>

#include "appleevents/AECodes.h"

// An Apple-event descriptor: a four-character type and either scalar data,
// a list of descriptors (items counted from 1), a record (keyword ->
// descriptor, of any record type such as 'reco', 'aslc' or 'obj '), or an
// Apple event (class, ID, attributes and parameters).
//
// Numeric data is held big-endian, 'utxt' as UTF-16 big-endian without a byte
// order mark, 'utf8' and 'furl' as UTF-8, 'bool' as one byte, 'type', 'enum'
// and 'keyw' as a big-endian four-character code. The wire format sends the
// bytes unchanged.
class AEDesc {
  public:
    enum class Kind { Scalar, List, Record, AppleEvent };

    // The null descriptor ('null', no data).
    AEDesc();
    AEDesc(DescType type, const QByteArray& data);

    static AEDesc nullDescriptor() { return AEDesc(); }
    static AEDesc listDescriptor();
    static AEDesc recordDescriptor(DescType recordType = AECodes::typeAERecord);
    static AEDesc appleEvent(AEEventClass eventClass, AEEventID eventID);

    static AEDesc unicodeText(const QString& text);  // 'utxt'
    static AEDesc utf8Text(const QString& text);     // 'utf8'
    static AEDesc int16(qint16 value);
    static AEDesc uint16(quint16 value);
    static AEDesc int32(qint32 value);
    static AEDesc uint32(quint32 value);
    static AEDesc int64(qint64 value);
    static AEDesc uint64(quint64 value);
    static AEDesc doubleValue(double value);
    static AEDesc boolean(bool value);
    static AEDesc typeCode(quint32 code);  // 'type'
    static AEDesc enumCode(quint32 code);  // 'enum'
    static AEDesc fileURL(const QUrl& url);

    Kind kind() const { return kind_; }
    DescType descriptorType() const { return type_; }
    // Scalar data; empty for the other kinds.
    QByteArray data() const { return data_; }
    bool isNull() const { return kind_ == Kind::Scalar && type_ == AECodes::typeNull; }
    bool isList() const { return kind_ == Kind::List; }
    bool isRecord() const { return kind_ == Kind::Record; }
    bool isAppleEvent() const { return kind_ == Kind::AppleEvent; }

    // Lists and records: item count; items from 1. For a record the items
    // are its fields in insertion order. Other kinds count 0.
    int numberOfItems() const;
    std::optional<AEDesc> descriptorAtIndex(int index) const;
    // Lists: inserts before the item at index (1-based); 0 or count + 1
    // appends. Records: appends under keyword 0 is not allowed, so this does
    // nothing on a record. Returns false when nothing was inserted.
    bool insertDescriptor(const AEDesc& desc, int index);
    bool removeDescriptorAtIndex(int index);

    // Records and Apple events (parameters).
    AEKeyword keywordForDescriptorAtIndex(int index) const;
    std::optional<AEDesc> descriptorForKeyword(AEKeyword keyword) const;
    // Replaces an existing field of that keyword in place, or appends it.
    bool setDescriptor(const AEDesc& desc, AEKeyword keyword);
    bool removeDescriptorWithKeyword(AEKeyword keyword);
    QList<AEKeyword> keywords() const;

    // Apple events.
    AEEventClass eventClass() const { return eventClass_; }
    AEEventID eventID() const { return eventID_; }
    std::optional<AEDesc> paramDescriptorForKeyword(AEKeyword keyword) const;
    bool setParamDescriptor(const AEDesc& desc, AEKeyword keyword);
    std::optional<AEDesc> attributeDescriptorForKeyword(AEKeyword keyword) const;
    bool setAttributeDescriptor(const AEDesc& desc, AEKeyword keyword);
    QList<AEKeyword> attributeKeywords() const;
    const std::vector<std::pair<AEKeyword, AEDesc>>& fields() const { return fields_; }
    const std::vector<std::pair<AEKeyword, AEDesc>>& attributes() const { return attributes_; }

    // Coercion between the scalar types the agent understands: the integer
    // types and 'doub' among themselves (a value that does not fit fails),
    // numbers and booleans to text, text to numbers, 'bool'/'true'/'fals'
    // and integers to booleans, 'type'/'enum'/'keyw' among themselves, 'furl'
    // to text. A descriptor coerces to its own type unchanged.
    std::optional<AEDesc> coerceToDescriptorType(DescType type) const;

    // Text of the descriptor after coercion to 'utxt'; a null string when it
    // has none.
    QString stringValue() const;
    // Value after coercion to a signed 32-bit integer; 0 when that fails.
    qint32 int32Value() const;
    // Value after coercion to a signed 64-bit integer.
    std::optional<qint64> int64Value() const;
    bool booleanValue() const;
    // The code of a 'type', 'enum' or 'keyw' descriptor; 0 for other types.
    quint32 typeCodeValue() const;
    quint32 enumCodeValue() const { return typeCodeValue(); }
    // A 'furl' descriptor's URL (its bytes read as UTF-8); empty otherwise.
    QUrl fileURLValue() const;

    bool operator==(const AEDesc& other) const;
    bool operator!=(const AEDesc& other) const { return !(*this == other); }

  private:
    AEDesc(Kind kind, DescType type);
    std::optional<AEDesc> coerceNumber(DescType type) const;

    Kind kind_ = Kind::Scalar;
    DescType type_ = AECodes::typeNull;
    QByteArray data_;
    std::vector<AEDesc> items_;
    std::vector<std::pair<AEKeyword, AEDesc>> fields_;  // record fields or event parameters
    std::vector<std::pair<AEKeyword, AEDesc>> attributes_;
    AEEventClass eventClass_ = 0;
    AEEventID eventID_ = 0;
};
Q_DECLARE_METATYPE(AEDesc)
