#include "registration/registrar.h"

#include "framework/hresult.h"
#include "framework/module.h"
#include "framework/text.h"
#include "framework/unique_any.h"
#include "shared/registry.h"

#include <cwctype>
#include <optional>
#include <vector>

namespace tavrin {
namespace {

enum class Removal { Plain, ForceRemove, NoRemove };

struct ScriptValue {
  std::wstring name;
  std::wstring data;
};

struct ScriptKey {
  Removal removal = Removal::Plain;
  std::wstring name;
  std::optional<std::wstring> defaultValue;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
  HKEY root;
  std::vector<ScriptKey> keys;
};

struct Token {
  std::wstring text;
  bool quoted;
};

class Parser {
 public:
  Parser(std::wstring_view script, const std::wstring& modulePath)
      : m_script(script), m_modulePath(modulePath) {}

  std::optional<std::vector<ScriptRoot>> Parse() {
    std::vector<ScriptRoot> roots;
    while (auto token = Next()) {
      const HKEY root = RootKey(*token);
      if (!root || !Expect(L"{")) return std::nullopt;
      ScriptRoot& current = roots.emplace_back(ScriptRoot{root, {}});
      if (!ParseKeys(current.keys)) return std::nullopt;
    }
    if (!m_ok) return std::nullopt;
    return roots;
  }

 private:
  // Reads keys and values up to the closing brace of the enclosing block.
  bool ParseKeys(std::vector<ScriptKey>& keys, std::vector<ScriptValue>* values = nullptr) {
    while (auto token = Next()) {
      if (IsWord(*token, L"}")) return true;
      if (IsWord(*token, L"val")) {
        auto name = Next();
        if (!values || !name || !Expect(L"=")) return false;
        auto data = StringValue();
        if (!data) return false;
        values->push_back({name->text, std::move(*data)});
        continue;
      }
      ScriptKey key;
      if (IsWord(*token, L"ForceRemove")) key.removal = Removal::ForceRemove;
      if (IsWord(*token, L"NoRemove")) key.removal = Removal::NoRemove;
      if (key.removal != Removal::Plain) token = Next();
      if (!token ||
          (!token->quoted && (token->text == L"{" || token->text == L"}" || token->text == L"=")))
        return false;
      key.name = token->text;
      auto following = Peek();
      if (following && IsWord(*following, L"=")) {
        Next();
        key.defaultValue = StringValue();
        if (!key.defaultValue) return false;
        following = Peek();
      }
      if (following && IsWord(*following, L"{")) {
        Next();
        if (!ParseKeys(key.subkeys, &key.values)) return false;
      }
      keys.push_back(std::move(key));
    }
    return false;
  }

  // "s 'text'": the only value type the system writes.
  std::optional<std::wstring> StringValue() {
    const auto type = Next();
    const auto text = Next();
    if (!type || !IsWord(*type, L"s") || !text) return std::nullopt;
    return Expand(text->text);
  }

  std::optional<std::wstring> Expand(const std::wstring& text) {
    std::wstring result;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != L'%') {
        result += text[i];
        continue;
      }
      const size_t end = text.find(L'%', i + 1);
      if (end == std::wstring::npos) return std::nullopt;
      const std::wstring_view name(text.data() + i + 1, end - i - 1);
      if (name.empty()) {
        result += L'%';
      } else if (name == L"MODULE") {
        // Substituted after tokenising, so a quote in the path cannot end the text.
        result += m_modulePath;
      } else {
        return std::nullopt;
      }
      i = end;
    }
    return result;
  }

  static HKEY RootKey(const Token& token) {
    if (token.quoted) return nullptr;
    if (token.text == L"HKCR" || token.text == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (token.text == L"HKCU" || token.text == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (token.text == L"HKLM" || token.text == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    return nullptr;
  }

  static bool IsWord(const Token& token, std::wstring_view word) {
    return !token.quoted && _wcsicmp(token.text.c_str(), std::wstring(word).c_str()) == 0;
  }

  bool Expect(std::wstring_view word) {
    const auto token = Next();
    return token && IsWord(*token, word);
  }

  std::optional<Token> Peek() {
    const size_t saved = m_pos;
    auto token = Next();
    m_pos = saved;
    return token;
  }

  std::optional<Token> Next() {
    while (m_pos < m_script.size() && std::iswspace(m_script[m_pos])) ++m_pos;
    if (m_pos == m_script.size()) return std::nullopt;
    if (m_script[m_pos] != L'\'') {
      const size_t start = m_pos;
      while (m_pos < m_script.size() && !std::iswspace(m_script[m_pos])) ++m_pos;
      return Token{std::wstring(m_script.substr(start, m_pos - start)), false};
    }
    std::wstring text;
    for (++m_pos; m_pos < m_script.size(); ++m_pos) {
      if (m_script[m_pos] != L'\'') {
        text += m_script[m_pos];
      } else if (m_pos + 1 < m_script.size() && m_script[m_pos + 1] == L'\'') {
        text += L'\'';
        ++m_pos;
      } else {
        ++m_pos;
        return Token{std::move(text), true};
      }
    }
    m_ok = false;  // unterminated text
    return std::nullopt;
  }

  std::wstring_view m_script;
  const std::wstring& m_modulePath;
  size_t m_pos = 0;
  bool m_ok = true;
};

std::wstring JoinPath(const std::wstring& parent, const std::wstring& name) {
  return parent.empty() ? name : parent + L'\\' + name;
}

HRESULT RegisterKey(HKEY root, const std::wstring& parentPath, const ScriptKey& key) {
  const std::wstring path = JoinPath(parentPath, key.name);
  if (key.removal == Removal::ForceRemove) RegistryDeleteTree(root, path);
  UniqueHkey handle;
  RETURN_IF_WIN32_ERROR(RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_SET_VALUE, nullptr, handle.put(), nullptr));
  if (key.defaultValue)
    RETURN_IF_WIN32_ERROR(RegistryWriteString(handle.get(), nullptr, *key.defaultValue));
  for (const ScriptValue& value : key.values)
    RETURN_IF_WIN32_ERROR(RegistryWriteString(handle.get(), value.name.c_str(), value.data));
  for (const ScriptKey& subkey : key.subkeys) RETURN_IF_FAILED(RegisterKey(root, path, subkey));
  return S_OK;
}

// Missing keys are not an error: unregistering what is not there leaves the registry as it is.
void UnregisterKey(HKEY root, const std::wstring& parentPath, const ScriptKey& key) {
  const std::wstring path = JoinPath(parentPath, key.name);
  if (key.removal == Removal::ForceRemove) {
    RegistryDeleteTree(root, path);
    return;
  }
  for (const ScriptKey& subkey : key.subkeys) UnregisterKey(root, path, subkey);
  if (key.removal == Removal::NoRemove) return;

  DWORD subkeyCount = 0;
  {
    const UniqueHkey handle = RegistryOpenKey(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!handle) return;
    for (const ScriptValue& value : key.values) RegDeleteValueW(handle.get(), value.name.c_str());
    if (RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subkeyCount, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return;
    }
  }
  if (subkeyCount == 0) RegDeleteKeyW(root, path.c_str());
}

}  // namespace

HRESULT RunRegistryScript(std::wstring_view script, const std::wstring& modulePath,
                          bool registering) {
  try {
    const auto roots = Parser(script, modulePath).Parse();
    if (!roots) return E_INVALIDARG;
    for (const ScriptRoot& root : *roots) {
      for (const ScriptKey& key : root.keys) {
        if (registering) {
          RETURN_IF_FAILED(RegisterKey(root.root, {}, key));
        } else {
          UnregisterKey(root.root, {}, key);
        }
      }
    }
    return S_OK;
  }
  CATCH_RETURN();
}

HRESULT RunRegistryScriptResource(UINT resourceId, bool registering) {
  try {
    const HMODULE module = ModuleInstance();
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
    const HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const auto* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!data) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    std::string_view text(data, SizeofResource(module, resource));
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);

    std::wstring modulePath;
    if (!GetModulePath(modulePath)) return E_FAIL;
    return RunRegistryScript(Utf8ToWide(text), modulePath, registering);
  }
  CATCH_RETURN();
}

}  // namespace tavrin
