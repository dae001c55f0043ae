// Builds the view's list straight into the view document, row by row, as the walk finds them.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "anchors/anchor_listing.h"
#include "anchors/anchor_row.h"
#include "browserview/portable/html_document.h"

namespace tavrin::cli {

// The body ends up as setting its innerHTML to CAnchorTableWriter's text would leave it, without
// that text or one parse of it all: each table is parsed alone, and each row as the content of
// its table section. A row's cells take no part in the parse of the rows around them (a cell
// closes every element opened in it), so the pieces give the tree the whole text gives. Most
// rows copy a parsed empty row and fill it in.
//
// The walk only keeps the rows; Finish builds the view from them, once the walked documents
// can be gone, so that the two trees never take memory at the same time.
class CViewBuilder : public IAnchorSink {
 public:
  // The rows kept are charged to `budget` as list bytes when there is one.
  explicit CViewBuilder(dom::CHtmlDocument& view, CRunBudget* budget = nullptr)
      : m_view(view), m_pBudget(budget) {}

  void OpenTable(const std::string& documentUrl) override;
  void AddRow(const AnchorItem& item) override;
  void CloseTable() override {}
  // Puts the tables into the view (none leave its body empty) and cleans the view up as
  // ShowAnchorList does.
  void Finish();

 private:
  void BuildRow(const AnchorItem& item, dom::Node& table, RowParity parity);
  bool AddCopiedRow(const AnchorItem& item, dom::Node& section, RowParity parity);

  dom::CHtmlDocument& m_view;
  CRunBudget* m_pBudget;
  std::vector<std::vector<AnchorItem>> m_arrTables;
  // The empty row of each parity, parsed on first use; null until then.
  std::array<const dom::Node*, 2> m_arrEmptyRows{};
};

}  // namespace tavrin::cli
