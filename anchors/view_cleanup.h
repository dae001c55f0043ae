// The clean-up passes over the view's document after the list has been put into it. Each pass
// raises DomError when the model fails (a failed tags call, a missing image collection, an element
// without its element interface); that ends the whole run.
#pragma once

#include <string>

#include "browserview/document_model.h"

namespace tavrin {

// Runs the passes below in their fixed order: FONT is unwrapped before DIV and SPAN are
// removed (a FONT in a SPAN goes with it, a DIV in a FONT is still removed), and the links
// emptied by the removals get their address last.
void CleanUpViewDocument(dom::IDocument& document);

// Replaces every FONT element by its content, last first. 0 when there is no `all` collection.
int UnwrapFontTags(dom::IDocument& document);
// Deletes every element of the tag with its content, last first (inner before outer). 0 when
// there is no `all` collection.
int RemoveTags(dom::IDocument& document, const std::string& tagName);
// Replaces every image by the bare image text (src and alt only, escaped). Returns 1.
int SimplifyImages(dom::IDocument& document);
// Gives every link that shows nothing (no image, no text but white space) its address as text.
// 0 when there is no `links` collection.
int FillEmptyLinks(dom::IDocument& document);

}  // namespace tavrin
