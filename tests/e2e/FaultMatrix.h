#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The outcome of a share for every pair of a service endpoint (row) and a
// fault kind (column): what was expected and what was observed, printed as
// one table. A cell reads like "6>2": the item ended in status 6 and the
// retry after the fault was cleared completed it; "-128>2": the share was
// cancelled and sharing again completed; "sheet>2": the destination sheet
// was shown and a share after a relaunch completed; "2*": completed, and the
// faulty endpoint was never asked; "-": the pair cannot be run.
class FaultMatrix {
  public:
    FaultMatrix(QStringList rows, QStringList kinds);

    const QStringList& rows() const { return rows_; }
    const QStringList& kinds() const { return kinds_; }

    void expect(const QString& row, const QString& kind, const QString& outcome);
    // The same expectation for every kind of a row but those listed in
    // exceptions.
    void expectRow(const QString& row, const QString& outcome,
                   const QMap<QString, QString>& exceptions = {});
    void record(const QString& row, const QString& kind, const QString& outcome);

    QString expected(const QString& row, const QString& kind) const;
    QString observed(const QString& row, const QString& kind) const;
    bool hasObserved(const QString& row) const;

    // Observed outcomes, one line per row; rows never run are left out.
    QString table() const;
    // "row / kind: observed X, expected Y" for every observed cell that
    // differs from its expectation.
    QStringList mismatches(const QStringList& rows) const;

  private:
    static QString key(const QString& row, const QString& kind) { return row + '\n' + kind; }

    QStringList rows_;
    QStringList kinds_;
    QMap<QString, QString> expected_;
    QMap<QString, QString> observed_;
};
