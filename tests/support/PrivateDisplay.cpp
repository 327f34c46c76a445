#include "support/PrivateDisplay.h"

#include <QStandardPaths>

PrivateDisplay::PrivateDisplay() {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) return;
    // -displayfd picks a free display and writes its number once it listens.
    server_.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
    if (!server_.waitForStarted(10000)) return;
    while (!server_.canReadLine() && server_.waitForReadyRead(20000)) {
    }
    const QString number = QString::fromUtf8(server_.readLine()).trimmed();
    if (!number.isEmpty()) display_ = QLatin1Char(':') + number;
}

PrivateDisplay::~PrivateDisplay() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.terminate();
    if (!server_.waitForFinished(5000)) {
        server_.kill();
        server_.waitForFinished(5000);
    }
}
