// A walk over one document and the documents of its window's direct frames.
#pragma once

#include "browserview/document_model.h"

namespace tavrin {

class CDocumentVisitor {
 public:
  virtual ~CDocumentVisitor() = default;

  // Called at the start of every walk.
  virtual void Begin() = 0;
  // Called for each document of a walk; the result is not used. `context` comes from Walk.
  virtual int VisitDocument(dom::IDocument& document, int context) = 0;

  // Begin, visit the document, then the documents of its window (WalkFrames). A document
  // without frames is thus visited twice: once itself, once as its window's document.
  virtual int Walk(dom::IDocument& document, int context);
  // Visits the documents of the window's direct frames, or the window's own document when it
  // has no frames. 0 when the window is null or has neither frames nor a document, else 1.
  // Raises DomError when the model fails.
  virtual int WalkFrames(const dom::WindowPtr& window, int context);
};

// The document's window; null when there is none or the call fails.
dom::WindowPtr GetDocumentWindow(dom::IDocument& document);

}  // namespace tavrin
