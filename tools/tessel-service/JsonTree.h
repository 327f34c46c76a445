#pragma once

#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>

// A parsed JSON document held as a flat list of nodes that refer to each
// other by index. Parsing, lookups and destruction never recurse, so a seed
// may nest project groups far deeper than Qt's JSON reader allows (it stops
// at a nesting depth of 1024).
class JsonTree {
  public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    struct Node {
        Kind kind = Kind::Null;
        bool boolean = false;
        bool integral = false;
        qint64 integer = 0;
        double number = 0;
        QString string;
        std::vector<std::pair<QString, int>> members;  // objects, in document order
        std::vector<int> items;                        // arrays
    };

    // Parses a whole document; on failure returns false and describes the
    // first problem with its byte offset.
    bool parse(const QByteArray& text, QString* error);

    int root() const { return nodes_.empty() ? -1 : 0; }
    const Node& node(int index) const { return nodes_[static_cast<size_t>(index)]; }
    Kind kind(int index) const { return index < 0 ? Kind::Null : node(index).kind; }

    // Index of the member named key of an object node; -1 when absent or when
    // the node is not an object.
    int member(int object, const QString& key) const;
    // Typed reads of an object's member with a fallback for absent members.
    // ok (when given) is set false when the member exists with another kind.
    QString stringMember(int object, const QString& key, const QString& fallback = {},
                         bool* ok = nullptr) const;
    qint64 integerMember(int object, const QString& key, qint64 fallback, bool* ok = nullptr) const;
    bool boolMember(int object, const QString& key, bool fallback, bool* ok = nullptr) const;

  private:
    int add(Kind kind);
    bool parseString(const QByteArray& text, qsizetype& pos, QString& out, QString* error);
    bool parseNumber(const QByteArray& text, qsizetype& pos, int index, QString* error);

    std::vector<Node> nodes_;
};
