// relaydock-docgen: makes the files the agent installs beside itself from
// the texts and images the repository keeps.
//
//   relaydock-docgen acknowledgements --notices FILE --pdf OUT [--text OUT
//       [--header FILE]] LICENCE...
//   relaydock-docgen icon --svg FILE --size N --png OUT
#include <cstdio>

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include "AcknowledgementsDocument.h"

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "relaydock-docgen: %s\n", qPrintable(text));
    return 1;
}

int renderIcon(const QString& svg, int size, const QString& png) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return fail(QStringLiteral("cannot read ") + svg);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image.save(png, "PNG") ? 0 : fail(QStringLiteral("cannot write ") + png);
}

}  // namespace

// A build step says nothing unless something fails; Qt's remark that a
// build machine has no runtime folder is no failure.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg &&
        !text.startsWith(QLatin1String("QStandardPaths")))
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

int main(int argc, char** argv) {
    // No display, fonts from fontconfig.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("relaydock-docgen"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Makes the agent's installed documents."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("acknowledgements | icon"));
    const QCommandLineOption notices(QStringLiteral("notices"), QStringLiteral("Notices."),
                                     QStringLiteral("file"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("PDF to write."),
                                 QStringLiteral("file"));
    const QCommandLineOption text(QStringLiteral("text"), QStringLiteral("Plain text to write."),
                                  QStringLiteral("file"));
    const QCommandLineOption header(QStringLiteral("header"),
                                    QStringLiteral("First lines of the plain text."),
                                    QStringLiteral("file"));
    const QCommandLineOption svg(QStringLiteral("svg"), QStringLiteral("Icon."),
                                 QStringLiteral("file"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Pixels."),
                                  QStringLiteral("n"));
    const QCommandLineOption png(QStringLiteral("png"), QStringLiteral("PNG to write."),
                                 QStringLiteral("file"));
    parser.addOptions({notices, pdf, text, header, svg, size, png});
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    if (command == QLatin1String("icon")) {
        bool ok = false;
        const int pixels = parser.value(size).toInt(&ok);
        if (!ok || pixels <= 0 || !parser.isSet(svg) || !parser.isSet(png))
            return fail(QStringLiteral("icon needs --svg, --size and --png"));
        return renderIcon(parser.value(svg), pixels, parser.value(png));
    }
    if (command != QLatin1String("acknowledgements"))
        return fail(QStringLiteral("unknown command \"%1\"").arg(command));
    if (!parser.isSet(notices) || !parser.isSet(pdf))
        return fail(QStringLiteral("acknowledgements needs --notices and --pdf"));

    AcknowledgementsDocument document;
    QString error;
    if (!document.addNotices(parser.value(notices), &error)) return fail(error);
    for (const QString& licence : positional.mid(1))
        if (!document.addLicence(licence, &error)) return fail(error);
    if (!document.writePdf(parser.value(pdf), &error)) return fail(error);
    if (parser.isSet(text)) {
        QFile headerFile(parser.value(header));
        if (parser.isSet(header) && !headerFile.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read ") + parser.value(header));
        const QString headerText =
            QString::fromUtf8(headerFile.isOpen() ? headerFile.readAll() : "");
        if (!document.writeText(parser.value(text), headerText, &error)) return fail(error);
    }
    return 0;
}
