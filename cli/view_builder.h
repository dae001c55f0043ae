// Builds the view's list straight into the view document, row by row, as the walk finds them.
#pragma once

#include <array>
#include <string>

#include "anchors/anchor_listing.h"
#include "anchors/anchor_row.h"
#include "browserview/portable/html_document.h"

namespace tavrin::cli {

// The body ends up as setting its innerHTML to CAnchorTableWriter's text would leave it, without
// that text or one parse of it all: each table is parsed alone, and each row as the content of
// its table section. A row's cells take no part in the parse of the rows around them (a cell
// closes every element opened in it), so the pieces give the tree the whole text gives. Most
// rows copy a parsed empty row and fill it in.
class CViewBuilder : public IAnchorSink {
 public:
  explicit CViewBuilder(dom::CHtmlDocument& view) : m_view(view) {}

  void OpenTable(const std::string& documentUrl) override;
  void AddRow(const AnchorItem& item) override;
  void CloseTable() override {}
  // Ends the list (an empty one too) and cleans the view up as ShowAnchorList does.
  void Finish();

 private:
  // The body, emptied on first use: until then the view stays as it was loaded.
  dom::Node& Body();
  bool AddCopiedRow(const AnchorItem& item, dom::Node& section);

  dom::CHtmlDocument& m_view;
  bool m_bStarted = false;
  dom::Node* m_pTable = nullptr;
  RowParity m_parity = RowParity::First;
  // The empty row of each parity, parsed on first use; null until then.
  std::array<const dom::Node*, 2> m_arrEmptyRows{};
};

}  // namespace tavrin::cli
