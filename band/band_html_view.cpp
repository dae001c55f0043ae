#include "band/band_html_view.h"

#include "band/settings.h"

#include <mshtml.h>

#include <cwchar>

namespace tavrin {
namespace {

// Plain decimal: leading white space and a sign accepted, parsing stops at the first non-digit,
// no number gives 0; out-of-range numbers are clamped before wrapping to 32 bits.
DWORD DecimalValue(const std::wstring& text) noexcept {
  return static_cast<DWORD>(std::wcstol(text.c_str(), nullptr, 10));
}

}  // namespace

BOOL CBandHtmlView::OnCmdEvent(const std::wstring& command, const std::wstring& first,
                               const std::wstring& second) {
  if (command == L"Config") {
    WriteSetting(first.c_str(), DecimalValue(second));
    return TRUE;
  }
  if (command != L"Exit") return FALSE;

  const auto html = Document<IHTMLDocument2>();
  ComPtr<IHTMLElement> body;
  if (!html || FAILED(html->get_body(body.put())) || !body) return TRUE;
  if (FAILED(body->put_innerHTML(m_bstrPendingHtml.get()))) return TRUE;
  UniqueBstr empty(SysAllocString(L""));
  if (empty) m_bstrPendingHtml = std::move(empty);
  return TRUE;
}

}  // namespace tavrin
