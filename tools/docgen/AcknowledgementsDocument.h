#pragma once

#include <QString>
#include <QStringList>
#include <QTextDocument>

// The acknowledgements the agent ships: the notices of the libraries it is
// built on, then the full text of each licence they name. One document is
// written twice: as the PDF the About panel opens and as the plain text of
// the Debian package's copyright file.
class AcknowledgementsDocument {
  public:
    AcknowledgementsDocument();

    // "# " starts the title, "## " a library's section; other lines are
    // reflowed into paragraphs at blank lines.
    bool addNotices(const QString& path, QString* error);
    // The first line ("# Name") is the licence's heading; the rest keeps its
    // own line breaks, since licence texts number and indent their clauses.
    bool addLicence(const QString& path, QString* error);

    bool writePdf(const QString& path, QString* error) const;
    // The sources as they are, one after the other, under a header.
    bool writeText(const QString& path, const QString& header, QString* error) const;

  private:
    void addHeading(const QString& text, int level);
    void addParagraph(const QString& text);
    void addPreformatted(const QString& text);

    QTextDocument document_;
    QString title_;
    QStringList sources_;
};
