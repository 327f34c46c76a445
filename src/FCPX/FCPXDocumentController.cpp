#include "FCPX/FCPXDocumentController.h"

#include "FCPX/FCPXCreateCommand.h"
#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXWindowControllerInterface.h"
#include "appleevents/ScriptApplication.h"
#include "appleevents/ScriptingRuntime.h"

namespace {
FCPXDocumentController* sharedController = nullptr;
}

FCPXDocumentController::FCPXDocumentController() {
    if (!sharedController) sharedController = this;
}

FCPXDocumentController::~FCPXDocumentController() {
    if (sharedController == this) sharedController = nullptr;
}

FCPXDocumentController* FCPXDocumentController::sharedDocumentController() {
    if (!sharedController) {
        // Lives for the rest of the process, like the platform's own.
        static auto* fallback = new FCPXDocumentController();
        sharedController = fallback;
    }
    return sharedController;
}

void FCPXDocumentController::newDocument() {
    if (!documents_.isEmpty()) return;
    QString error;
    openUntitledDocumentAndDisplay(true, &error);
}

std::shared_ptr<FCPXDocument> FCPXDocumentController::currentDocument() const {
    return documents_.isEmpty() ? nullptr : documents_.first();
}

void FCPXDocumentController::addDocument(const std::shared_ptr<FCPXDocument>& document) {
    if (document && !documents_.contains(document)) documents_.append(document);
}

void FCPXDocumentController::removeDocument(const std::shared_ptr<FCPXDocument>& document) {
    documents_.removeAll(document);
}

std::shared_ptr<FCPXDocument> FCPXDocumentController::makeUntitledDocumentOfType(const QString&,
                                                                                 QString* error) {
    if (error) error->clear();
    return std::make_shared<FCPXDocument>();
}

std::shared_ptr<FCPXDocument> FCPXDocumentController::openUntitledDocumentAndDisplay(
    bool display, QString* error) {
    auto document = makeUntitledDocumentOfType(QStringLiteral("FCPXDocument"), error);
    if (!document) return nullptr;
    addDocument(document);
    if (windowControllerFactory_) {
        document->setWindowController(windowControllerFactory_(document));
        if (display && document->windowController()) document->windowController()->showWindow();
    }
    return document;
}

void FCPXDocumentController::installScripting(ScriptingRuntime& runtime) {
    runtime.application()->setDocumentsProvider([this] {
        QList<std::shared_ptr<ScriptableObject>> out;
        for (const auto& d : documents_) out.append(d);
        return out;
    });
    runtime.registerCommandClass(QStringLiteral("FCPXCreateCommand"),
                                 [] { return std::make_shared<FCPXCreateCommand>(); });
}
