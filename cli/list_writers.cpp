#include "cli/list_writers.h"

#include <nlohmann/json.hpp>

namespace tavrin::cli {
namespace {

// A TSV field never holds the tab or line feed that would split it (nor a CR, which would read
// as a line end): they become spaces. Other control characters, which a terminal would obey,
// are dropped.
std::string TsvField(std::string_view text) {
  std::string field;
  field.reserve(text.size());
  for (const char c : text) {
    if (c == '\t' || c == '\n' || c == '\r')
      field += ' ';
    else if (static_cast<unsigned char>(c) >= 0x20 && c != '\x7F')
      field += c;
  }
  return field;
}

// An RFC 4180 field: quoted, its quotes doubled, when it holds what would end or split it.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted += '"';
}

// A JSON string; bytes that are not UTF-8 become U+FFFD rather than failing the run.
std::string JsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

CListWriter::CListWriter(ListFormat format, bool bUnique, CRunBudget* budget)
    : m_format(format), m_bUnique(bUnique), m_pBudget(budget) {
  if (m_format == ListFormat::Tsv) m_strPiece += "href\ttext\tdocument\n";
  if (m_format == ListFormat::Csv) m_strPiece += "href,text,document\r\n";
  if (m_format == ListFormat::Json) m_strPiece += '[';
}

void CListWriter::OpenTable(const std::string& documentUrl) {
  m_strDocumentUrl = documentUrl;
  if (m_format == ListFormat::Html) m_tableWriter.OpenTable(documentUrl);
}

void CListWriter::AddRow(const AnchorItem& item) {
  if (m_bUnique && !m_setSeenHrefs.insert(item.href).second) return;
  const std::size_t before = m_strPiece.size();
  switch (m_format) {
    case ListFormat::Html:
      m_tableWriter.AddRow(item);
      break;
    case ListFormat::Text:
      (m_strPiece += item.href) += '\n';
      break;
    case ListFormat::Tsv:
      m_strPiece += TsvField(item.href) + '\t' + TsvField(LinkText(item.markup)) + '\t' +
                    TsvField(m_strDocumentUrl) + '\n';
      break;
    case ListFormat::Csv:
      m_strPiece += CsvField(item.href) + ',' + CsvField(LinkText(item.markup)) + ',' +
                    CsvField(m_strDocumentUrl) + "\r\n";
      break;
    case ListFormat::Json:
      AddJsonObject(item);
      break;
  }
  if (m_pBudget) m_pBudget->ChargeList(m_strPiece.size() - before);
  EndPieceWhenFull();
}

void CListWriter::CloseTable() {
  if (m_format == ListFormat::Html) m_tableWriter.CloseTable();
}

TextPieces CListWriter::Finish() {
  if (m_format == ListFormat::Html) m_strPiece += '\n';
  if (m_format == ListFormat::Json) m_strPiece += m_bAnyJsonObject ? "\n]\n" : "]\n";
  m_arrPieces.push_back(std::move(m_strPiece));
  return std::move(m_arrPieces);
}

void CListWriter::EndPieceWhenFull() {
  if (m_strPiece.size() < kTextPieceSize) return;
  m_arrPieces.push_back(std::move(m_strPiece));
  m_strPiece = std::string();
  m_strPiece.reserve(kTextPieceSize + kTextPieceSize / 4);  // room for the row that fills it
}

void CListWriter::AddJsonObject(const AnchorItem& item) {
  m_strPiece += m_bAnyJsonObject ? ",\n" : "\n";
  m_bAnyJsonObject = true;
  m_strPiece += "{\"href\": " + JsonString(item.href) +
                ", \"text\": " + JsonString(LinkText(item.markup)) +
                ", \"document\": " + JsonString(m_strDocumentUrl) + '}';
}

}  // namespace tavrin::cli
