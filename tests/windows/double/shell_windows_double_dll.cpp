// shell-windows-double.dll: the shell's window collection and the browser's automation object,
// as the tests register them in the throwaway prefix (see shell_windows_double.h).

#include "shell_windows_double.h"

#include "framework/class_factory.h"
#include "framework/com_object.h"
#include "framework/unique_any.h"
#include "mshtml_double.h"
#include "shell_windows_not_implemented.h"
#include "tests/windows/not_implemented_dispatch.h"
#include "web_browser_double.h"

#include <exdisp.h>

#include <sstream>
#include <string>
#include <vector>

using namespace tavrin;
using namespace tavrin::test_double;

namespace {

std::wstring ReadValue(const wchar_t* name) {
  DWORD size = 0;
  std::wstring text;
  if (RegGetValueW(HKEY_CURRENT_USER, kShellDoubleKey, name, RRF_RT_REG_SZ, nullptr, nullptr,
                   &size) == ERROR_SUCCESS) {
    text.resize(size / sizeof(wchar_t));
    RegGetValueW(HKEY_CURRENT_USER, kShellDoubleKey, name, RRF_RT_REG_SZ, nullptr, text.data(),
                 &size);
    text.resize(wcsnlen(text.c_str(), text.size()));
  }
  return text;
}

std::wstring JournalText() {
  return ReadValue(kJournalValue);
}

void Journal(const std::wstring& line) {
  const std::wstring text = JournalText() + line + L"\n";
  RegSetKeyValueW(HKEY_CURRENT_USER, kShellDoubleKey, kJournalValue, REG_SZ, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::wstring> ScenarioWindows() {
  std::vector<std::wstring> windows;
  std::wistringstream stream(ReadValue(kShellWindowsValue));
  for (std::wstring kind; std::getline(stream, kind, L',');) windows.push_back(kind);
  return windows;
}

ComPtr<IHTMLDocument2> HtmlPage(size_t place) {
  const std::wstring url = L"http://www.example.com/" + std::to_wstring(place) + L".html";
  return ParseDocument("<html><body><a href=\"a.html\">a</a></body></html>", url);
}

// A dispatch object that is neither a browser nor an HTML document: a folder window's view, or
// an item of the collection that is not a browser.
class CNonBrowser : public NotImplDispatch<IDispatch>, public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    static const InterfaceEntry table[] = {InterfaceOf<CNonBrowser, IDispatch>()};
    return table;
  }
};

// A shell window in the collection: a browser whose calls are journalled under its place.
// CFrameBrowser gives the browser interfaces and their table; nothing is added to them here.
class CShellBrowser : public CFrameBrowser {
 public:
  CShellBrowser(size_t place, std::wstring kind) : m_nPlace(place), m_strKind(std::move(kind)) {
    if (m_strKind == L"folder") {
      m_pFolderView = MakeComObject<CNonBrowser>().get();
    } else if (m_strKind != L"docfail" && m_strKind != L"late") {
      Show(HtmlPage(place), L"");
    }
  }

  STDMETHODIMP get_Document(IDispatch** document) noexcept override {
    if (!document) return E_POINTER;
    *document = nullptr;
    if (m_strKind == L"docfail") return E_FAIL;
    if (m_strKind == L"folder") return m_pFolderView.copy_to(document);
    if (m_strKind == L"late" && ++m_nDocumentCalls == 2) {
      try {
        Show(HtmlPage(m_nPlace), L"");
      }
      CATCH_RETURN();
    }
    return CBrowserBase::get_Document(document);
  }
  STDMETHODIMP get_ReadyState(READYSTATE* state) noexcept override {
    if (!state) return E_POINTER;
    *state = m_bLoading ? READYSTATE_INTERACTIVE : READYSTATE_COMPLETE;
    return S_OK;
  }
  STDMETHODIMP put_Visible(VARIANT_BOOL visible) noexcept override {
    return Record(visible ? L"show " : L"hide ", [] {});
  }
  STDMETHODIMP Stop() noexcept override {
    return Record(m_bLoading ? L"stop loading " : L"stop ", [this] { m_bLoading = false; });
  }
  STDMETHODIMP Quit() noexcept override;

 private:
  template <class Action>
  HRESULT Record(const wchar_t* verb, Action action) noexcept {
    try {
      Journal(verb + std::to_wstring(m_nPlace));
      action();
      return S_OK;
    }
    CATCH_RETURN();
  }

  size_t m_nPlace;
  std::wstring m_strKind;
  bool m_bLoading = m_strKind == L"loading";
  int m_nDocumentCalls = 0;
  ComPtr<IDispatch> m_pFolderView;
};

// The windows of this process's collection, made from the scenario (see MakeWindows); a
// window leaves it when it quits. Null entries are the scenario's empty items.
struct CShellState {
  std::vector<ComPtr<IDispatch>> windows;
};
CShellState& Shell() {
  static CShellState state;
  return state;
}

// A collection made while the journal is empty starts the scenario afresh; a later one (the
// second pass) sees the windows the first left.
void MakeWindows() {
  auto& shell = Shell();
  if (!JournalText().empty()) return;
  shell.windows.clear();
  const auto kinds = ScenarioWindows();
  for (size_t place = 0; place < kinds.size(); ++place) {
    const auto& kind = kinds[place];
    ComPtr<IDispatch> window;
    if (kind == L"other") {
      window = MakeComObject<CNonBrowser>().get();
    } else if (kind != L"null") {
      const auto browser = MakeComObject<CShellBrowser>(place, kind);
      window = static_cast<IWebBrowser2*>(browser.get());
    }
    shell.windows.push_back(window);
  }
}

STDMETHODIMP CShellBrowser::Quit() noexcept {
  return Record(L"quit ", [this] {
    auto& windows = Shell().windows;
    std::erase_if(windows, [this](const auto& window) {
      return window.get() == static_cast<IDispatch*>(static_cast<IWebBrowser2*>(this));
    });
  });
}

class CShellWindowsDouble : public NotImplDispatch<NotImplShellWindows>, public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    using T = CShellWindowsDouble;
    static const InterfaceEntry table[] = {
        InterfaceOf<T, IShellWindows>(),
        InterfaceOf<T, IDispatch, IShellWindows>(),
    };
    return table;
  }

  CShellWindowsDouble() { MakeWindows(); }

  STDMETHODIMP get_Count(LONG* count) noexcept override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(Shell().windows.size());
    return S_OK;
  }
  STDMETHODIMP Item(VARIANT index, IDispatch** item) noexcept override {
    if (!item) return E_POINTER;
    *item = nullptr;
    const auto& windows = Shell().windows;
    if (index.vt != VT_I4 || index.lVal < 0 || static_cast<size_t>(index.lVal) >= windows.size())
      return S_FALSE;
    return windows[index.lVal].copy_to(item);
  }
};

// The browser's automation object: journals ShowBrowserBar's arguments and Quit.
class CBrowserApplicationDouble : public CFrameBrowser {
 public:
  STDMETHODIMP ShowBrowserBar(VARIANT* bar, VARIANT* show, VARIANT* size) noexcept override {
    try {
      std::wstring line = L"bar";
      for (const VARIANT* argument : {bar, show, size}) {
        line += L" " + std::to_wstring(argument ? argument->vt : VARTYPE{VT_EMPTY}) + L":";
        if (!argument) continue;
        if (argument->vt == VT_BSTR && argument->bstrVal) line += argument->bstrVal;
        if (argument->vt == VT_BOOL) line += std::to_wstring(argument->boolVal);
        if (argument->vt == VT_INT) line += std::to_wstring(argument->intVal);
      }
      Journal(line);
      m_nShownAt = GetTickCount64();
      return S_OK;
    }
    CATCH_RETURN();
  }
  STDMETHODIMP Quit() noexcept override {
    try {
      Journal(L"quit application after " + std::to_wstring(GetTickCount64() - m_nShownAt));
      return S_OK;
    }
    CATCH_RETURN();
  }

 private:
  ULONGLONG m_nShownAt = GetTickCount64();
};

ClassFactory g_shellWindowsFactory{&CreateComObject<CShellWindowsDouble>};
ClassFactory g_applicationFactory{&CreateComObject<CBrowserApplicationDouble>};
const ClassEntry g_classes[] = {{&CLSID_ShellWindows, &g_shellWindowsFactory},
                                {&kBrowserApplicationDoubleClsid, &g_applicationFactory}};

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return GetClassObject(g_classes, rclsid, riid, ppv);
}
// The windows stay for the process: the collection is asked again by the second pass.
STDAPI DllCanUnloadNow() {
  return S_FALSE;
}
