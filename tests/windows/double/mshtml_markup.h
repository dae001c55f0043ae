// The double's own tolerant HTML parser: enough of the HTML standard's tokeniser and tree
// builder for the markup the pipeline writes and the double serialises, shaped like the trees
// the portable model's parser gives for the same markup.
#pragma once

#include <deque>
#include <string_view>

#include "browserview/portable/html_tree.h"

namespace tavrin::test_double {

using dom::Node;

// Parses `markup` as the content of `context` and appends the top-level nodes to `holder`.
// New nodes come from `arena`, which never moves them. The Ie dialect also takes a backtick as
// an attribute value's quote, as that engine's parser does.
void ParseFragment(std::string_view markup, dom::Serialization dialect, const Node& context,
                   Node& holder, std::deque<Node>& arena);

// Parses a whole document into the empty document node `document`: doctype, then an html
// element with head and body (or frameset), implied where the markup leaves them out.
void ParseDocumentInto(std::string_view html, Node& document, std::deque<Node>& arena);

// Links `child` as the last child of `parent`.
void AppendChild(Node& parent, Node& child);

}  // namespace tavrin::test_double
