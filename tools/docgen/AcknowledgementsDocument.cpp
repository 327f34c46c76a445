#include "AcknowledgementsDocument.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

namespace {

bool readText(const QString& path, QString* text, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *text = QString::fromUtf8(file.readAll());
    return true;
}

// Without shaping there are no ligatures: "fi" stays two letters, so the
// text found and copied from the PDF is the text written.
QFont plainFont(QFontDatabase::SystemFont kind, qreal points) {
    QFont font = QFontDatabase::systemFont(kind);
    font.setPointSizeF(points);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QFont bodyFont() {
    return plainFont(QFontDatabase::GeneralFont, 10);
}

}  // namespace

AcknowledgementsDocument::AcknowledgementsDocument() {
    document_.setDefaultFont(bodyFont());
    document_.setDocumentMargin(0);
}

void AcknowledgementsDocument::addHeading(const QString& text, int level) {
    QTextCursor cursor(&document_);
    cursor.movePosition(QTextCursor::End);
    QTextBlockFormat block;
    block.setHeadingLevel(level);
    block.setTopMargin(level == 1 ? 0 : 14);
    block.setBottomMargin(6);
    // Every licence starts on a page of its own.
    if (level == 1 && !document_.isEmpty())
        block.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCharFormat chars;
    QFont font = bodyFont();
    font.setBold(true);
    font.setPointSizeF(level == 1 ? 18 : 13);
    chars.setFont(font);
    if (document_.isEmpty())
        cursor.setBlockFormat(block);
    else
        cursor.insertBlock(block);
    cursor.setBlockCharFormat(chars);
    cursor.insertText(text, chars);
}

void AcknowledgementsDocument::addParagraph(const QString& text) {
    QTextCursor cursor(&document_);
    cursor.movePosition(QTextCursor::End);
    QTextBlockFormat block;
    block.setBottomMargin(6);
    QTextCharFormat chars;
    chars.setFont(bodyFont());
    cursor.insertBlock(block, chars);
    cursor.insertText(text, chars);
}

void AcknowledgementsDocument::addPreformatted(const QString& text) {
    QTextCursor cursor(&document_);
    cursor.movePosition(QTextCursor::End);
    QTextBlockFormat block;
    block.setNonBreakableLines(true);
    QTextCharFormat chars;
    chars.setFont(plainFont(QFontDatabase::FixedFont, 8.5));
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        cursor.insertBlock(block, chars);
        cursor.insertText(line, chars);
    }
}

bool AcknowledgementsDocument::addNotices(const QString& path, QString* error) {
    QString text;
    if (!readText(path, &text, error)) return false;
    sources_ << text;
    QStringList paragraph;
    auto flush = [&] {
        if (!paragraph.isEmpty()) addParagraph(paragraph.join(QLatin1Char(' ')));
        paragraph.clear();
    };
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("## "))) {
            flush();
            addHeading(line.mid(3), 2);
        } else if (line.startsWith(QLatin1String("# "))) {
            flush();
            if (title_.isEmpty()) title_ = line.mid(2);
            addHeading(line.mid(2), 1);
        } else if (line.trimmed().isEmpty()) {
            flush();
        } else {
            paragraph << line.trimmed();
        }
    }
    flush();
    return true;
}

bool AcknowledgementsDocument::addLicence(const QString& path, QString* error) {
    QString text;
    if (!readText(path, &text, error)) return false;
    sources_ << text;
    const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
    const QString first = text.left(firstBreak);
    if (!first.startsWith(QLatin1String("# "))) {
        *error = QStringLiteral("%1 does not start with \"# <licence name>\"").arg(path);
        return false;
    }
    addHeading(first.mid(2), 1);
    addPreformatted(text.mid(firstBreak + 1).trimmed());
    return true;
}

bool AcknowledgementsDocument::writePdf(const QString& path, QString* error) const {
    QPdfWriter writer(path);
    writer.setTitle(title_);
    writer.setCreator(QStringLiteral("Relaydock"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));
    // print() paginates a copy laid out for the page and numbers the pages.
    document_.print(&writer);
    if (!QFileInfo(path).size()) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool AcknowledgementsDocument::writeText(const QString& path, const QString& header,
                                         QString* error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    QString text = header;
    for (const QString& source : sources_) text += QLatin1Char('\n') + source.trimmed() + '\n';
    file.write(text.toUtf8());
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
