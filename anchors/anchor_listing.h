// The anchor list as rows handed to a sink, for the forms of the list that are not the view: the
// same walk, the same links in the same order as ListAnchorsIntoView, without a view to build.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "anchors/anchor_row.h"
#include "anchors/refresh_anchor_list.h"
#include "browserview/document_model.h"

namespace tavrin {

// Receives the tables of the anchor list in list order, one per visited document.
class IAnchorSink {
 public:
  virtual ~IAnchorSink() = default;
  // The table of the document at `documentUrl` begins.
  virtual void OpenTable(const std::string& documentUrl) = 0;
  // One accepted link of the open table.
  virtual void AddRow(const AnchorItem& item) = 0;
  // The open table is complete; not called when a failure ended it early.
  virtual void CloseTable() = 0;
};

// The HTML of the tables, exactly as the view receives them, appended to a string.
class CAnchorTableWriter : public IAnchorSink {
 public:
  explicit CAnchorTableWriter(std::string& html) : m_strHtml(html) {}
  void OpenTable(const std::string& documentUrl) override;
  void AddRow(const AnchorItem& item) override;
  void CloseTable() override;

 private:
  std::string& m_strHtml;
  RowParity m_parity = RowParity::First;
};

// The links of one document that the list shows, into the sink (see
// CAnchorCollector::BuildAnchorTable, which writes its table this way). Writes every listed
// link's resolved address back to its href. 1 when the table is complete; 0 when a model failure
// or exhausted memory ended it.
int ListDocumentAnchors(dom::IDocument& document, bool bDomainOnly, IAnchorSink& sink);

// Appends the document's address to `visited` and returns true, unless an address equal to it
// (ASCII case folded) is there already: a walk lists each document once.
bool MarkVisited(dom::IDocument& document, std::vector<std::string>& visited);

// The "DomainOnly" setting of the context: off when it cannot be read.
bool ReadDomainOnly(const RefreshContext& context);

// Calls `walk` for every document a run starts a walk from: each recorded frame document whose
// address no earlier walk started from (exact comparison), then the main document unless its
// address is among those. Null documents are skipped.
void ForEachStartingDocument(const RefreshContext& context, const dom::DocumentPtr& mainDocument,
                             const std::function<void(dom::IDocument&)>& walk);

// One run of the anchor list into `sink` instead of a view: the status text, the walks, the
// images and links written back as ListAnchorsIntoView does. 1, or 0 when a model failure or
// exhausted memory outside a table ended the run.
int ListAnchors(const RefreshContext& context, const dom::DocumentPtr& mainDocument,
                IAnchorSink& sink);

// The last steps of a run: puts the list into the view document's body, cleans the view up and
// brings it to its top-left corner. `anchorList`, when given, receives the list once the view
// holds it. Raises DomError when the model fails.
void ShowAnchorList(dom::IDocument& viewDocument, std::string list,
                    std::string* anchorList = nullptr);

// A row's title as a reader sees it: the markup's tags stripped, its character references
// decoded, runs of white space one space, none at either end.
std::string LinkText(std::string_view markup);

}  // namespace tavrin
