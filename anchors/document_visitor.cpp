#include "anchors/document_visitor.h"

namespace tavrin {

int CDocumentVisitor::Walk(dom::IDocument& document, int context) {
  Begin();
  VisitDocument(document, context);
  return WalkFrames(GetDocumentWindow(document), context);
}

int CDocumentVisitor::WalkFrames(const dom::WindowPtr& window, int context) {
  if (!window) return 0;
  const long count = window->FrameCount();
  if (count == 0) {
    const dom::DocumentPtr document = window->Document();
    if (!document) return 0;
    VisitDocument(*document, context);
    return 1;
  }
  for (long i = 0; i < count; ++i) {
    // A frame that cannot be had, or whose document is refused (another domain), is skipped.
    const dom::WindowPtr frame = window->Frame(i);
    if (!frame) continue;
    const dom::DocumentPtr document = frame->Document();
    if (!document) continue;
    VisitDocument(*document, context);
  }
  return 1;
}

dom::WindowPtr GetDocumentWindow(dom::IDocument& document) {
  try {
    return document.ParentWindow();
  } catch (const dom::DomError&) {
    return nullptr;
  }
}

}  // namespace tavrin
