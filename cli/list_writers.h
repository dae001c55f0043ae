// The anchor list in the forms the program prints: the bar's HTML, plain addresses, tab-separated
// rows and JSON, all from the rows of one run.
#pragma once

#include <string>
#include <unordered_set>

#include "anchors/anchor_listing.h"
#include "cli/options.h"

namespace tavrin::cli {

// Writes the rows it receives to `out` in `format`; Finish() ends the text.
class CListWriter : public IAnchorSink {
 public:
  // With `bUnique`, a row whose address an earlier row had is left out.
  CListWriter(ListFormat format, bool bUnique, std::string& out);

  void OpenTable(const std::string& documentUrl) override;
  void AddRow(const AnchorItem& item) override;
  void CloseTable() override;
  // Appends what follows the last row: the line feed after the HTML, the end of the JSON array.
  void Finish();

 private:
  void AddJsonObject(const AnchorItem& item);

  ListFormat m_format;
  bool m_bUnique;
  std::string& m_strOut;
  CAnchorTableWriter m_tableWriter;
  std::string m_strDocumentUrl;
  std::unordered_set<std::string> m_setSeenHrefs;
  bool m_bAnyJsonObject = false;
};

}  // namespace tavrin::cli
