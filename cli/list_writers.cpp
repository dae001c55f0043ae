#include "cli/list_writers.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace tavrin::cli {
namespace {

// A TSV field never holds the tab or line feed that would split it (nor a CR, which would read
// as a line end).
std::string TsvField(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

// A JSON string; bytes that are not UTF-8 become U+FFFD rather than failing the run.
std::string JsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

CListWriter::CListWriter(ListFormat format, bool bUnique, std::string& out)
    : m_format(format), m_bUnique(bUnique), m_strOut(out), m_tableWriter(out) {
  if (m_format == ListFormat::Tsv) m_strOut += "href\ttext\tdocument\n";
  if (m_format == ListFormat::Json) m_strOut += '[';
}

void CListWriter::OpenTable(const std::string& documentUrl) {
  m_strDocumentUrl = documentUrl;
  if (m_format == ListFormat::Html) m_tableWriter.OpenTable(documentUrl);
}

void CListWriter::AddRow(const AnchorItem& item) {
  if (m_bUnique && !m_setSeenHrefs.insert(item.href).second) return;
  switch (m_format) {
    case ListFormat::Html:
      m_tableWriter.AddRow(item);
      break;
    case ListFormat::Text:
      (m_strOut += item.href) += '\n';
      break;
    case ListFormat::Tsv:
      m_strOut += TsvField(item.href) + '\t' + TsvField(LinkText(item.markup)) + '\t' +
                  TsvField(m_strDocumentUrl) + '\n';
      break;
    case ListFormat::Json:
      AddJsonObject(item);
      break;
  }
}

void CListWriter::CloseTable() {
  if (m_format == ListFormat::Html) m_tableWriter.CloseTable();
}

void CListWriter::Finish() {
  if (m_format == ListFormat::Html) m_strOut += '\n';
  if (m_format == ListFormat::Json) m_strOut += m_bAnyJsonObject ? "\n]\n" : "]\n";
}

void CListWriter::AddJsonObject(const AnchorItem& item) {
  m_strOut += m_bAnyJsonObject ? ",\n" : "\n";
  m_bAnyJsonObject = true;
  m_strOut += "{\"href\": " + JsonString(item.href) +
              ", \"text\": " + JsonString(LinkText(item.markup)) +
              ", \"document\": " + JsonString(m_strDocumentUrl) + '}';
}

}  // namespace tavrin::cli
