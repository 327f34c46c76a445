#pragma once

#include <functional>
#include <memory>

#include <QList>
#include <QString>

class FCPXDocument;
class FCPXWindowControllerInterface;
class ScriptingRuntime;

// Keeps the agent to one scripting document and says which one is current.
// The first controller made is the shared one for as long as it lives.
class FCPXDocumentController {
  public:
    // Makes the window controller of a new document (what loading the
    // document's window resource does); set by the layer that owns windows.
    using WindowControllerFactory = std::function<std::shared_ptr<FCPXWindowControllerInterface>(
        const std::shared_ptr<FCPXDocument>& document)>;

    FCPXDocumentController();
    ~FCPXDocumentController();
    FCPXDocumentController(const FCPXDocumentController&) = delete;
    FCPXDocumentController& operator=(const FCPXDocumentController&) = delete;

    // The first controller made that still lives; one is made if there is none.
    static FCPXDocumentController* sharedDocumentController();

    // newDocument: — the standard new-document action, only while there is
    // no document.
    void newDocument();
    // openDocument: — documents are never opened from files.
    void openDocument() {}
    // The first document, whichever window is main or key; nullptr if none.
    std::shared_ptr<FCPXDocument> currentDocument() const;
    QList<std::shared_ptr<FCPXDocument>> documents() const { return documents_; }
    void addDocument(const std::shared_ptr<FCPXDocument>& document);
    void removeDocument(const std::shared_ptr<FCPXDocument>& document);

    std::shared_ptr<FCPXDocument> makeUntitledDocumentOfType(const QString& type, QString* error);
    // Makes, adds and (through the factory) gives the document its window
    // controller, showing its window when display is true.
    std::shared_ptr<FCPXDocument> openUntitledDocumentAndDisplay(bool display, QString* error);

    void setWindowControllerFactory(WindowControllerFactory factory) {
        windowControllerFactory_ = std::move(factory);
    }

    // Lets scripts reach this controller's documents and makes
    // FCPXCreateCommand the make command.
    void installScripting(ScriptingRuntime& runtime);

  private:
    QList<std::shared_ptr<FCPXDocument>> documents_;
    WindowControllerFactory windowControllerFactory_;
};
