// The anchor list in the forms the program prints: the bar's HTML, plain addresses, tab-separated
// and comma-separated rows and JSON, all from the rows of one run.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "anchors/anchor_listing.h"
#include "browserview/portable/run_budget.h"
#include "cli/options.h"
#include "cli/output_file.h"

namespace tavrin::cli {


// Writes the rows it receives in `format`; Finish() ends the text and hands it over.
class CListWriter : public IAnchorSink {
 public:
  // With `bUnique`, a row whose address an earlier row had is left out. The text is charged to
  // `budget` as list bytes when there is one.
  CListWriter(ListFormat format, bool bUnique, CRunBudget* budget = nullptr);

  void OpenTable(const std::string& documentUrl) override;
  void AddRow(const AnchorItem& item) override;
  void CloseTable() override;
  // The whole text, with what follows the last row: the line feed after the HTML, the end of
  // the JSON array.
  TextPieces Finish();

 private:
  void AddJsonObject(const AnchorItem& item);
  void EndPieceWhenFull();

  ListFormat m_format;
  bool m_bUnique;
  CRunBudget* m_pBudget;
  TextPieces m_arrPieces;
  std::string m_strPiece;
  CAnchorTableWriter m_tableWriter{m_strPiece};
  std::string m_strDocumentUrl;
  std::unordered_set<std::string> m_setSeenHrefs;
  bool m_bAnyJsonObject = false;
};

}  // namespace tavrin::cli
