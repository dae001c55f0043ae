#include "cli/view_builder.h"

#include <optional>
#include <string_view>

#include "anchors/anchor_constants.h"
#include "anchors/html_escape.h"
#include "anchors/view_cleanup.h"
#include "browserview/portable/html_tree.h"

namespace tavrin::cli {
namespace {

// Whether the parser keeps every character of `text` as it is: well-formed UTF-8 (nothing it
// would replace), no carriage return (it becomes a line feed), no NUL (dropped or replaced).
bool KeptAsWritten(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead == '\r' || lead == '\0') return false;
    if (lead < 0x80) {  // most of a page's text
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
      cp = lead & 0x0F;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      length = 2;
      cp = lead & 0x1F;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto trail = static_cast<unsigned char>(text[i + k]);
      if ((trail & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (trail & 0x3F);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// What the parser makes of `text` in an attribute value or an element's text, when every
// character reference in it is one that EscapeHtml writes; nothing when another could be.
std::optional<std::string> DecodeEscaped(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kReferences[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
  if (!KeptAsWritten(text)) return std::nullopt;
  std::string decoded;
  decoded.reserve(text.size());
  while (!text.empty()) {
    const std::size_t ampersand = text.find('&');
    decoded.append(text.substr(0, ampersand));
    if (ampersand == std::string_view::npos) break;
    text.remove_prefix(ampersand);
    bool bKnown = false;
    for (const auto& [reference, character] : kReferences) {
      if (!text.starts_with(reference)) continue;
      decoded += character;
      text.remove_prefix(reference.size());
      bKnown = true;
      break;
    }
    if (!bKnown) return std::nullopt;
  }
  return decoded;
}

}  // namespace

void CViewBuilder::OpenTable(const std::string& /*documentUrl*/) {
  m_arrTables.emplace_back();
}

void CViewBuilder::AddRow(const AnchorItem& item) {
  if (m_arrTables.empty()) throw dom::DomError(dom::kErrorNullResult, "a row outside a table");
  if (m_pBudget) m_pBudget->ChargeList(item.href.size() + item.markup.size());
  m_arrTables.back().push_back(item);
}

void CViewBuilder::Finish() {
  dom::Node& body = m_view.BodyElement();
  m_view.RemoveChildren(body);
  for (std::vector<AnchorItem>& rows : m_arrTables) {
    m_view.AppendHtml(body, std::string(kTableOpening) + kTableClosing);
    RowParity parity = RowParity::First;
    for (const AnchorItem& item : rows) {
      BuildRow(item, *body.lastChild, parity);
      parity = Flip(parity);
    }
    rows = {};  // each table's rows give their memory to the next table's nodes
  }
  CleanUpViewDocument(m_view);
}

void CViewBuilder::BuildRow(const AnchorItem& item, dom::Node& table, RowParity parity) {
  // The first row opens the table's implied section; later rows go into it.
  dom::Node* section = table.lastChild;
  if (!section || !AddCopiedRow(item, *section, parity))
    m_view.AppendHtml(section ? *section : table, FormatAnchorRow(item, parity));
}

// Fills in a copy of the empty row when the parse of the row's attributes can be known without
// it; false, adding nothing, otherwise. The link's markup is parsed as the link's content: the
// sanitiser's phrasing elements, closed in the order opened, reach no element above the link
// (the cell bounds every scope, and the link's own entry in the formatting list matches none of
// their tags), so it gives what it gives within the row.
bool CViewBuilder::AddCopiedRow(const AnchorItem& item, dom::Node& section, RowParity parity) {
  // The values as FormatAnchorRow writes them, decoded as the parse of its row would decode them:
  // the href's escapes give back the href; the title's escape of quotes gives back the quotes,
  // and its entity references stay live.
  if (!KeptAsWritten(item.href)) return false;
  const std::optional<std::string> title = DecodeEscaped(StripTags(item.markup));
  if (!title) return false;
  std::optional<std::string> text;
  if (item.markup.find('<') == std::string::npos) text = DecodeEscaped(item.markup);

  const dom::Node*& emptyRow = m_arrEmptyRows[parity == RowParity::First ? 0 : 1];
  if (!emptyRow) {
    const dom::Node& holder = m_view.ParseDetached(
        FormatFixedText(parity == RowParity::First ? kRowFirstParity : kRowSecondParity, {}),
        section);
    emptyRow = holder.firstChild;
  }
  dom::Node& row = m_view.AppendCopy(section, *emptyRow);
  dom::Node* link = &row;
  while (link && !link->IsHtml("a")) link = dom::NextInDocument(link, &row);
  if (!link) throw dom::DomError(dom::kErrorNullResult, "the row has no link");
  m_view.SetAttribute(*link, "href", item.href);
  m_view.SetAttribute(*link, "title", *title);
  if (!text)
    m_view.AppendHtml(*link, item.markup);
  else if (!text->empty())
    m_view.AppendText(*link, std::move(*text));
  return true;
}

}  // namespace tavrin::cli
