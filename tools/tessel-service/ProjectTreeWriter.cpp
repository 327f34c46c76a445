#include "ProjectTreeWriter.h"

#include <vector>

#include "PlistWriter.h"
#include "Seed.h"

namespace {

enum class Format { Json, Plist };

void openNode(QByteArray& out, const SeedLibrary& library, const SeedNode& node, Format format) {
    if (format == Format::Json) {
        out += "{\"id\":" + ProjectTreeWriter::jsonString(node.id) +
               ",\"name\":" + ProjectTreeWriter::jsonString(node.name) +
               ",\"dbname\":" + ProjectTreeWriter::jsonString(library.dbName) +
               ",\"type\":" + QByteArray::number(node.type) + ",\"group\":[";
        return;
    }
    out += "<dict>";
    PlistWriter::appendKey(out, QStringLiteral("id"));
    PlistWriter::appendString(out, node.id);
    PlistWriter::appendKey(out, QStringLiteral("name"));
    PlistWriter::appendString(out, node.name);
    PlistWriter::appendKey(out, QStringLiteral("dbname"));
    PlistWriter::appendString(out, library.dbName);
    PlistWriter::appendKey(out, QStringLiteral("type"));
    out += "<integer>" + QByteArray::number(node.type) + "</integer>";
    PlistWriter::appendKey(out, QStringLiteral("group"));
    out += "<array>";
}

void closeNode(QByteArray& out, Format format) {
    out += format == Format::Json ? "]}" : "</array></dict>";
}

void write(QByteArray& out, const SeedLibrary& library, Format format) {
    out += format == Format::Json ? "[" : "<array>";
    struct Frame {
        int node;
        size_t next;  // next child to write
    };
    std::vector<Frame> stack;
    for (size_t r = 0; r < library.roots.size(); ++r) {
        if (r > 0 && format == Format::Json) out += ',';
        const int root = library.roots[r];
        openNode(out, library, library.nodes[static_cast<size_t>(root)], format);
        stack.push_back({root, 0});
        while (!stack.empty()) {
            Frame& top = stack.back();
            const SeedNode& node = library.nodes[static_cast<size_t>(top.node)];
            if (top.next >= node.children.size()) {
                closeNode(out, format);
                stack.pop_back();
                continue;
            }
            if (top.next > 0 && format == Format::Json) out += ',';
            const int child = node.children[top.next++];
            openNode(out, library, library.nodes[static_cast<size_t>(child)], format);
            stack.push_back({child, 0});
        }
    }
    out += format == Format::Json ? "]" : "</array>";
}

}  // namespace

void ProjectTreeWriter::appendJson(QByteArray& out, const SeedLibrary& library) {
    write(out, library, Format::Json);
}

void ProjectTreeWriter::appendPlist(QByteArray& out, const SeedLibrary& library) {
    write(out, library, Format::Plist);
}

QByteArray ProjectTreeWriter::jsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20)
                    out += "\\u00" +
                           QByteArray::number(static_cast<int>(c), 16).rightJustified(2, '0');
                else
                    out += c;
        }
    }
    out += '"';
    return out;
}
