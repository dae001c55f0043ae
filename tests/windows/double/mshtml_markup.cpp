#include "mshtml_markup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "browserview/ascii_case.h"

namespace tavrin::test_double {
namespace {

using dom::Attribute;
using dom::Namespace;

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

constexpr std::array<std::string_view, 18> kVoidElements = {
    "area", "base",  "basefont", "bgsound", "br",   "col",   "embed",  "frame", "hr",
    "img",  "input", "keygen",   "link",    "meta", "param", "source", "track", "wbr"};

// Their content is text up to the end tag; noscript too, as parsed with scripting on.
constexpr std::array<std::string_view, 7> kRawTextElements = {
    "script", "style", "xmp", "iframe", "noembed", "noframes", "noscript"};
constexpr std::array<std::string_view, 2> kEscapableRawTextElements = {"textarea", "title"};

constexpr std::array<std::string_view, 30> kClosesParagraph = {
    "address", "article", "aside",    "blockquote", "center",    "details", "dialog",  "dir",
    "div",     "dl",      "fieldset", "figcaption", "figure",    "footer",  "header",  "hgroup",
    "main",    "menu",    "nav",      "ol",         "p",         "section", "summary", "ul",
    "pre",     "listing", "form",     "hr",         "plaintext", "xmp"};

constexpr std::array<std::string_view, 14> kFormatting = {
    "a",    "b", "big",   "code",   "em",     "font", "i",
    "nobr", "s", "small", "strike", "strong", "tt",   "u"};

constexpr std::array<std::string_view, 6> kHeadings = {"h1", "h2", "h3", "h4", "h5", "h6"};

constexpr std::array<std::string_view, 5> kTableContexts = {"table", "tbody", "thead", "tfoot",
                                                            "tr"};
constexpr std::array<std::string_view, 3> kTableSections = {"tbody", "thead", "tfoot"};

constexpr std::array<std::string_view, 9> kScopeBoundaries = {
    "applet", "caption", "html", "table", "td", "th", "marquee", "object", "template"};

constexpr std::array<std::string_view, 12> kHeadContent = {
    "base",  "basefont", "bgsound",  "link",     "meta",     "title",
    "style", "script",   "noscript", "template", "noframes", "command"};

constexpr std::array<std::string_view, 37> kSvgNames = {"altGlyph",
                                                        "altGlyphDef",
                                                        "altGlyphItem",
                                                        "animateColor",
                                                        "animateMotion",
                                                        "animateTransform",
                                                        "clipPath",
                                                        "feBlend",
                                                        "feColorMatrix",
                                                        "feComponentTransfer",
                                                        "feComposite",
                                                        "feConvolveMatrix",
                                                        "feDiffuseLighting",
                                                        "feDisplacementMap",
                                                        "feDistantLight",
                                                        "feDropShadow",
                                                        "feFlood",
                                                        "feFuncA",
                                                        "feFuncB",
                                                        "feFuncG",
                                                        "feFuncR",
                                                        "feGaussianBlur",
                                                        "feImage",
                                                        "feMerge",
                                                        "feMergeNode",
                                                        "feMorphology",
                                                        "feOffset",
                                                        "fePointLight",
                                                        "feSpecularLighting",
                                                        "feSpotLight",
                                                        "feTile",
                                                        "feTurbulence",
                                                        "foreignObject",
                                                        "glyphRef",
                                                        "linearGradient",
                                                        "radialGradient",
                                                        "textPath"};

struct Entity {
  std::string_view name;
  char32_t code;
  bool legacy;  // recognised without the semicolon
};

constexpr std::array<Entity, 34> kEntities = {{
    {"amp", U'&', true},       {"lt", U'<', true},       {"gt", U'>', true},
    {"quot", U'"', true},      {"nbsp", 0xA0, true},     {"copy", 0xA9, true},
    {"reg", 0xAE, true},       {"not", 0xAC, true},      {"curren", 0xA4, true},
    {"yen", 0xA5, true},       {"pound", 0xA3, true},    {"cent", 0xA2, true},
    {"sect", 0xA7, true},      {"para", 0xB6, true},     {"deg", 0xB0, true},
    {"plusmn", 0xB1, true},    {"middot", 0xB7, true},   {"laquo", 0xAB, true},
    {"raquo", 0xBB, true},     {"times", 0xD7, true},    {"divide", 0xF7, true},
    {"shy", 0xAD, true},       {"apos", U'\'', false},   {"trade", 0x2122, false},
    {"hellip", 0x2026, false}, {"mdash", 0x2014, false}, {"ndash", 0x2013, false},
    {"lsquo", 0x2018, false},  {"rsquo", 0x2019, false}, {"ldquo", 0x201C, false},
    {"rdquo", 0x201D, false},  {"bull", 0x2022, false},  {"euro", 0x20AC, false},
    {"hearts", 0x2665, false},
}};

// What a browser makes of numeric references to the C1 range (windows-1252); 0 keeps the code.
constexpr std::array<char32_t, 32> kC1Replacements = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The reference at text[0] == '&' decoded into `out`; the number of bytes it took, 0 for none.
std::size_t DecodeReference(std::string_view text, bool inAttribute, std::string& out) {
  if (text.size() > 1 && text[1] == '#') {
    const bool hex = text.size() > 2 && (text[2] == 'x' || text[2] == 'X');
    std::size_t i = hex ? 3 : 2;
    const std::size_t digitsBegin = i;
    std::uint32_t value = 0;
    for (; i < text.size(); ++i) {
      const char c = AsciiLower(text[i]);
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (digit < 0) break;
      value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
    }
    if (i == digitsBegin) return 0;
    if (i < text.size() && text[i] == ';') ++i;
    char32_t code = value;
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code >= 0x80 && code <= 0x9F && kC1Replacements[code - 0x80]) {
      code = kC1Replacements[code - 0x80];
    }
    AppendUtf8(code, out);
    return i;
  }
  const Entity* best = nullptr;
  bool bestTerminated = false;
  for (const Entity& entity : kEntities) {
    if (text.substr(1, entity.name.size()) != entity.name) continue;
    const bool terminated =
        text.size() > entity.name.size() + 1 && text[entity.name.size() + 1] == ';';
    if (!terminated && !entity.legacy) continue;
    if (!best || entity.name.size() > best->name.size()) {
      best = &entity;
      bestTerminated = terminated;
    }
  }
  if (!best) return 0;
  std::size_t length = best->name.size() + 1;
  if (bestTerminated) {
    ++length;
  } else if (inAttribute && length < text.size() &&
             (IsAsciiAlnum(text[length]) || text[length] == '=')) {
    return 0;  // "&copy=1" in an address stays as written
  }
  AppendUtf8(best->code, out);
  return length;
}

std::string Decode(std::string_view text, bool inAttribute) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '&') {
      if (const std::size_t used = DecodeReference(text.substr(i), inAttribute, out)) {
        i += used;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

// Newlines as the tokeniser sees them: CR LF and lone CR become LF.
std::string NormalizeNewlines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return out;
}

struct Token {
  enum class Kind { StartTag, EndTag, Text, Comment, Doctype, End } kind = Kind::End;
  std::string name;
  std::vector<Attribute> attributes;
  std::string data;
  bool selfClosing = false;
};

class CTokenizer {
 public:
  CTokenizer(std::string_view input, dom::Serialization dialect)
      : m_text(NormalizeNewlines(input)), m_bBacktickQuotes(dialect == dom::Serialization::Ie) {}

  Token Next() {
    Token token;
    // An empty end tag "</>" is dropped.
    while (m_text.compare(m_pos, 3, "</>") == 0) m_pos += 3;
    if (m_pos >= m_text.size()) return token;
    if (m_text[m_pos] == '<' && ReadMarkup(token)) return token;
    const std::size_t begin = m_pos;
    m_pos = m_text.find('<', m_pos + 1);
    if (m_pos == std::string::npos) m_pos = m_text.size();
    token.kind = Token::Kind::Text;
    token.data = Decode(std::string_view(m_text).substr(begin, m_pos - begin), false);
    return token;
  }

  // The content of a raw-text element: everything up to its end tag, which is left to Next.
  std::string ReadRawText(std::string_view name, bool decode) {
    const std::size_t begin = m_pos;
    std::size_t end = begin;
    while ((end = m_text.find("</", end)) != std::string::npos) {
      const std::size_t after = end + 2 + name.size();
      if (EqualsIgnoringAsciiCase(std::string_view(m_text).substr(end + 2, name.size()), name) &&
          (after >= m_text.size() || IsAsciiWhitespace(m_text[after]) || m_text[after] == '/' ||
           m_text[after] == '>')) {
        break;
      }
      end += 2;
    }
    m_pos = end == std::string::npos ? m_text.size() : end;
    const std::string_view raw = std::string_view(m_text).substr(begin, m_pos - begin);
    return decode ? Decode(raw, false) : std::string(raw);
  }

  std::string ReadRest(bool decode) {
    const std::string_view rest = std::string_view(m_text).substr(m_pos);
    m_pos = m_text.size();
    return decode ? Decode(rest, false) : std::string(rest);
  }

 private:
  // Reads the tag, comment or doctype at '<'; false when the '<' is text.
  bool ReadMarkup(Token& token) {
    const std::string_view rest = std::string_view(m_text).substr(m_pos);
    if (rest.starts_with("<!--")) {
      const std::size_t end = m_text.find("-->", m_pos + 4);
      token.kind = Token::Kind::Comment;
      token.data =
          m_text.substr(m_pos + 4, end == std::string::npos ? std::string::npos : end - m_pos - 4);
      m_pos = end == std::string::npos ? m_text.size() : end + 3;
      return true;
    }
    if (rest.starts_with("<!") || rest.starts_with("<?")) {
      const std::size_t end = m_text.find('>', m_pos);
      const std::string body =
          m_text.substr(m_pos + 2, end == std::string::npos ? std::string::npos : end - m_pos - 2);
      m_pos = end == std::string::npos ? m_text.size() : end + 1;
      if (EqualsIgnoringAsciiCase(std::string_view(body).substr(0, 7), "doctype")) {
        token.kind = Token::Kind::Doctype;
        std::size_t i = 7;
        while (i < body.size() && IsAsciiWhitespace(body[i])) ++i;
        std::size_t j = i;
        while (j < body.size() && !IsAsciiWhitespace(body[j])) ++j;
        token.name = AsciiLower(body.substr(i, j - i));
      } else {
        token.kind = Token::Kind::Comment;
        token.data = rest[1] == '?' ? "?" + body : body;
      }
      return true;
    }
    const bool end = rest.size() > 2 && rest[1] == '/' && IsAsciiAlpha(rest[2]);
    if (!end && !(rest.size() > 1 && IsAsciiAlpha(rest[1]))) return false;
    token.kind = end ? Token::Kind::EndTag : Token::Kind::StartTag;
    m_pos += end ? 2 : 1;
    const std::size_t nameBegin = m_pos;
    while (m_pos < m_text.size() && !IsAsciiWhitespace(m_text[m_pos]) && m_text[m_pos] != '/' &&
           m_text[m_pos] != '>') {
      ++m_pos;
    }
    token.name = AsciiLower(std::string_view(m_text).substr(nameBegin, m_pos - nameBegin));
    // A tag the input ends in is dropped, as the tokeniser does at the end of the file.
    if (!ReadAttributes(token)) token = Token();
    return true;
  }

  // False when the input ends before the tag does.
  bool ReadAttributes(Token& token) {
    while (m_pos < m_text.size()) {
      const char c = m_text[m_pos];
      if (c == '>') {
        ++m_pos;
        return true;
      }
      if (IsAsciiWhitespace(c)) {
        ++m_pos;
        continue;
      }
      if (c == '/') {
        ++m_pos;
        token.selfClosing = m_pos < m_text.size() && m_text[m_pos] == '>';
        continue;
      }
      token.selfClosing = false;
      const std::size_t nameBegin = m_pos++;
      while (m_pos < m_text.size() && !IsAsciiWhitespace(m_text[m_pos]) && m_text[m_pos] != '/' &&
             m_text[m_pos] != '>' && m_text[m_pos] != '=') {
        ++m_pos;
      }
      Attribute attribute{AsciiLower(std::string_view(m_text).substr(nameBegin, m_pos - nameBegin)),
                          {}};
      SkipSpaces();
      if (m_pos < m_text.size() && m_text[m_pos] == '=') {
        ++m_pos;
        SkipSpaces();
        attribute.value = Decode(ReadAttributeValue(), true);
      }
      // The first of two attributes with one name wins.
      const bool duplicate =
          std::any_of(token.attributes.begin(), token.attributes.end(),
                      [&](const Attribute& seen) { return seen.name == attribute.name; });
      if (!duplicate) token.attributes.push_back(std::move(attribute));
    }
    return false;
  }

  std::string_view ReadAttributeValue() {
    if (m_pos >= m_text.size()) return {};
    const char quote = m_text[m_pos];
    if (quote == '"' || quote == '\'' || (quote == '`' && m_bBacktickQuotes)) {
      const std::size_t end = m_text.find(quote, m_pos + 1);
      const std::size_t begin = m_pos + 1;
      m_pos = end == std::string::npos ? m_text.size() : end + 1;
      return std::string_view(m_text).substr(
          begin, end == std::string::npos ? std::string::npos : end - begin);
    }
    const std::size_t begin = m_pos;
    while (m_pos < m_text.size() && !IsAsciiWhitespace(m_text[m_pos]) && m_text[m_pos] != '>') ++m_pos;
    return std::string_view(m_text).substr(begin, m_pos - begin);
  }

  void SkipSpaces() {
    while (m_pos < m_text.size() && IsAsciiWhitespace(m_text[m_pos])) ++m_pos;
  }

  std::string m_text;
  bool m_bBacktickQuotes;
  std::size_t m_pos = 0;
};

bool IsHtmlOneOf(const Node& node, std::string_view name) {
  return node.kind == Node::Kind::Element && node.ns == Namespace::Html && node.name == name;
}

// Builds the tree from tokens. The bottom of the stack is the node that receives the top-level
// nodes: the fragment's holder, or the document.
class CTreeBuilder {
 public:
  CTreeBuilder(std::string_view markup, dom::Serialization dialect, Node& root,
               std::deque<Node>& arena)
      : m_tokenizer(markup, dialect), m_arena(arena), m_stack{&root} {}

  // The fragment's context, which the tree builder consults while nothing is open.
  void SetContext(const Node& context) { m_pContext = &context; }

  void BuildFragment() {
    // Inside a raw-text context everything is text; noscript's content is parsed as markup
    // there, as the portable model's parser does for a fragment.
    const std::string_view context = m_pContext ? CurrentName() : std::string_view();
    if (OneOf(context, kEscapableRawTextElements) || context == "plaintext" ||
        (OneOf(context, kRawTextElements) && context != "noscript")) {
      InsertText(m_tokenizer.ReadRest(OneOf(context, kEscapableRawTextElements)));
      return;
    }
    for (Token token = m_tokenizer.Next(); token.kind != Token::Kind::End;
         token = m_tokenizer.Next()) {
      Process(token);
    }
  }

  void BuildDocument() {
    for (Token token = m_tokenizer.Next(); token.kind != Token::Kind::End;
         token = m_tokenizer.Next()) {
      ProcessInDocument(token);
    }
    EnsureBody();
  }

 private:
  // --- the document's frame: html, head, body ---

  void ProcessInDocument(Token& token) {
    if (m_pBody) {
      if (token.kind == Token::Kind::Comment && m_bAfterBody) {
        InsertComment(m_bAfterHtml ? *m_stack.front() : *m_pHtml, token.data);
      } else if (token.kind == Token::Kind::EndTag &&
                 (token.name == "body" || token.name == "html")) {
        m_bAfterBody = true;
        m_bAfterHtml = m_bAfterHtml || token.name == "html";
      } else if (token.kind != Token::Kind::Doctype) {
        Process(token);
      }
      return;
    }
    switch (token.kind) {
      case Token::Kind::Doctype:
        if (!m_pHtml) {
          Node& doctype = NewNode(Node::Kind::Doctype);
          doctype.name = token.name;
          m_bQuirks = token.name != "html";
          AppendChild(*m_stack.front(), doctype);
        }
        return;
      case Token::Kind::Comment:
        InsertComment(*m_stack.back(), token.data);
        return;
      case Token::Kind::Text: {
        const std::size_t blank = token.data.find_first_not_of(" \t\n\f");
        // Blanks before the head are dropped; in and after it they stay where they are.
        if (m_pHead && blank != 0) InsertText(token.data.substr(0, blank));
        if (blank == std::string::npos) return;
        token.data.erase(0, blank);
        break;
      }
      case Token::Kind::StartTag:
        if (token.name == "html") {
          EnsureHtml(&token.attributes);
          return;
        }
        if (token.name == "head" && !m_pHead) {
          EnsureHtml(nullptr);
          m_pHead = &NewElement(token);
          AppendChild(*m_pHtml, *m_pHead);
          m_stack.push_back(m_pHead);
          return;
        }
        if (OneOf(token.name, kHeadContent)) {
          EnsureHtml(nullptr);
          EnsureHead();
          const bool reopened = m_stack.back() != m_pHead;
          if (reopened) m_stack.push_back(m_pHead);
          Process(token);
          if (reopened) m_stack.pop_back();
          return;
        }
        if (token.name == "body" || token.name == "frameset") {
          OpenBody(&token);
          return;
        }
        break;
      case Token::Kind::EndTag:
        if (token.name == "head" && m_stack.back() == m_pHead) {
          m_stack.pop_back();
          return;
        }
        if (token.name != "body" && token.name != "html" && token.name != "br") return;
        break;
      case Token::Kind::End:
        return;
    }
    OpenBody(nullptr);
    Process(token);
  }

  void EnsureHtml(const std::vector<Attribute>* attributes) {
    if (!m_pHtml) {
      m_pHtml = &NewNode(Node::Kind::Element);
      m_pHtml->name = "html";
      AppendChild(*m_stack.front(), *m_pHtml);
      m_stack.push_back(m_pHtml);
    }
    if (attributes) MergeAttributes(*m_pHtml, *attributes);
  }

  void EnsureHead() {
    if (m_pHead) return;
    m_pHead = &NewNode(Node::Kind::Element);
    m_pHead->name = "head";
    AppendChild(*m_pHtml, *m_pHead);
  }

  void OpenBody(const Token* token) {
    EnsureHtml(nullptr);
    EnsureHead();
    if (m_stack.back() == m_pHead) m_stack.pop_back();
    m_pBody = &NewNode(Node::Kind::Element);
    m_pBody->name = token ? token->name : "body";
    if (token) m_pBody->attributes = token->attributes;
    AppendChild(*m_pHtml, *m_pBody);
    m_stack.push_back(m_pBody);
  }

  void EnsureBody() {
    if (!m_pBody) OpenBody(nullptr);
  }

  static void MergeAttributes(Node& element, const std::vector<Attribute>& attributes) {
    for (const Attribute& attribute : attributes) {
      if (!element.FindAttribute(attribute.name)) element.attributes.push_back(attribute);
    }
  }

  // --- the content: a simplified "in body" with its table rules ---

  void Process(Token& token) {
    switch (token.kind) {
      case Token::Kind::Text:
        InsertText(token.data);
        break;
      case Token::Kind::Comment:
        InsertComment(*m_stack.back(), token.data);
        break;
      case Token::Kind::StartTag:
        StartTag(token);
        break;
      case Token::Kind::EndTag:
        EndTag(token);
        break;
      case Token::Kind::Doctype:
      case Token::Kind::End:
        break;
    }
  }

  void StartTag(Token& token) {
    // Inside svg and math every tag makes a foreign element: the portable model's parser ends
    // foreign content at no HTML tag in a fragment.
    if (InForeignContent()) {
      InsertForeign(token, CurrentNamespace());
      return;
    }
    const std::string& name = token.name;
    if (name == "html" || name == "head" || name == "body" || name == "frameset") return;
    if (name == "svg" || name == "math") {
      InsertForeign(token, name == "svg" ? Namespace::Svg : Namespace::MathMl);
      return;
    }
    if (name == "image") token.name = "img";
    if (OpenTableStructure(token)) return;
    if (OneOf(name, kClosesParagraph) || OneOf(name, kHeadings) || name == "li" || name == "dd" ||
        name == "dt") {
      ClosePendingSiblings(name);
      ClosePInButtonScope();
    }
    if (OneOf(name, kHeadings) && OneOf(CurrentName(), kHeadings)) m_stack.pop_back();
    if (name == "a" || name == "nobr") PopTo(name, true);
    if (name == "option" && CurrentName() == "option") m_stack.pop_back();

    if (!IsSpecial(name)) ReopenFormatting();
    Node& element = NewElement(token);
    Insert(element);
    if (OneOf(name, kVoidElements)) return;
    if (OneOf(name, kRawTextElements) || OneOf(name, kEscapableRawTextElements)) {
      const std::string text = m_tokenizer.ReadRawText(name, !OneOf(name, kRawTextElements));
      if (!text.empty()) AppendText(element, text);
      return;
    }
    m_stack.push_back(&element);
    if (name == "plaintext") InsertText(m_tokenizer.ReadRest(false));
  }

  // Table parts, with the sections and rows the HTML parser implies; true when handled.
  bool OpenTableStructure(const Token& token) {
    const std::string& name = token.name;
    const bool tablePart = name == "tr" || name == "td" || name == "th" || name == "caption" ||
                           name == "colgroup" || name == "col" || OneOf(name, kTableSections);
    if (name != "table" && !tablePart) return false;
    // Outside a table the parser ignores table parts.
    if (tablePart && !OneOf(CurrentName(), kTableContexts) && !InTableScope("table")) return true;
    if (name == "table") {
      if (OneOf(CurrentName(), kTableContexts)) PopTo("table", false);
      // Only a document in quirks mode lets a table open inside a paragraph.
      if (!m_bQuirks) ClosePInButtonScope();
    } else if (name == "tr") {
      PopToAny({"tbody", "thead", "tfoot", "table"});
      if (CurrentName() == "table") OpenImplied("tbody");
    } else if (name == "td" || name == "th") {
      PopToAny({"tr", "tbody", "thead", "tfoot", "table"});
      if (CurrentName() == "table") OpenImplied("tbody");
      if (OneOf(CurrentName(), kTableSections)) OpenImplied("tr");
    } else if (name == "col") {
      PopToAny({"colgroup", "table"});
      if (CurrentName() == "table") OpenImplied("colgroup");
      Insert(NewElement(token), true);
      return true;
    } else {
      PopToAny({"table"});
    }
    m_arrReopen.clear();  // formatting never carries into a table part
    Node& element = NewElement(token);
    Insert(element, true);
    m_stack.push_back(&element);
    return true;
  }

  void OpenImplied(const char* name) {
    Node& element = NewNode(Node::Kind::Element);
    element.name = name;
    Insert(element, true);
    m_stack.push_back(&element);
  }

  void EndTag(const Token& token) {
    const std::string& name = token.name;
    // The end tag of a formatting element closed early only cancels its reopening.
    const auto pending = std::find_if(m_arrReopen.begin(), m_arrReopen.end(),
                                      [&](const Node* node) { return node->name == name; });
    if (pending != m_arrReopen.end() && !InScope(name, false)) {
      m_arrReopen.erase(pending);
      return;
    }
    if (name == "br") {
      Insert(NewNamedElement("br"));
      return;
    }
    if (name == "p" && !InButtonScope("p")) {
      Insert(NewNamedElement("p"));
      return;
    }
    // Table parts close whatever is open inside them; other end tags stop at a table or cell.
    const bool tablePart =
        name == "table" || name == "td" || name == "th" || OneOf(name, kTableContexts);
    for (std::size_t i = m_stack.size(); i-- > 1;) {
      const Node& open = *m_stack[i];
      if (EqualsIgnoringAsciiCase(open.name, name)) {
        CloseFrom(i);
        return;
      }
      if (open.ns != Namespace::Html) continue;
      if (tablePart ? open.name == "table" || open.name == "template"
                    : OneOf(open.name, kScopeBoundaries)) {
        return;
      }
    }
  }

  void ClosePendingSiblings(const std::string& name) {
    const bool listItem = name == "li";
    if (!listItem && name != "dd" && name != "dt") return;
    for (std::size_t i = m_stack.size(); i-- > 1;) {
      const Node& open = *m_stack[i];
      if (open.ns == Namespace::Html &&
          (listItem ? open.name == "li" : open.name == "dd" || open.name == "dt")) {
        m_stack.resize(i);
        return;
      }
      if (open.ns == Namespace::Html && open.name != "address" && open.name != "div" &&
          open.name != "p" && IsSpecial(open.name)) {
        return;
      }
    }
  }

  static bool IsSpecial(std::string_view name) {
    return OneOf(name, kScopeBoundaries) || OneOf(name, kClosesParagraph) ||
           OneOf(name, kHeadings) || OneOf(name, kTableContexts) || name == "li" || name == "dd" ||
           name == "dt" || name == "body";
  }

  void ClosePInButtonScope() {
    if (InButtonScope("p")) PopTo("p", false);
  }

  bool InScope(std::string_view name, bool button) const {
    for (std::size_t i = m_stack.size(); i-- > 1;) {
      const Node& open = *m_stack[i];
      if (IsHtmlOneOf(open, name)) return true;
      if (open.ns != Namespace::Html) continue;
      if (OneOf(open.name, kScopeBoundaries) || (button && open.name == "button")) return false;
    }
    return false;
  }
  bool InButtonScope(std::string_view name) const { return InScope(name, true); }

  bool InTableScope(std::string_view name) const {
    for (std::size_t i = m_stack.size(); i-- > 1;) {
      if (IsHtmlOneOf(*m_stack[i], name)) return true;
      if (IsHtmlOneOf(*m_stack[i], "html") || IsHtmlOneOf(*m_stack[i], "template")) return false;
    }
    return false;
  }

  // Pops up to and including the open element `name`; with `inScope` only when it is in scope.
  void PopTo(std::string_view name, bool inScope) {
    if (inScope && !InScope(name, false)) return;
    for (std::size_t i = m_stack.size(); i-- > 1;) {
      if (IsHtmlOneOf(*m_stack[i], name)) {
        CloseFrom(i);
        return;
      }
    }
  }

  // Closes the open elements from stack position `index` on. Formatting elements closed on
  // the way are reopened before the next content, as the parser's adoption agency does for
  // misnested markup ("<a><b>1</a>2</b>").
  void CloseFrom(std::size_t index) {
    for (std::size_t i = index + 1; i < m_stack.size(); ++i) {
      if (m_stack[i]->ns == Namespace::Html && OneOf(m_stack[i]->name, kFormatting)) {
        m_arrReopen.push_back(m_stack[i]);
      }
    }
    m_stack.resize(index);
  }

  void ReopenFormatting() {
    std::vector<const Node*> reopen = std::move(m_arrReopen);
    m_arrReopen.clear();
    for (const Node* closed : reopen) {
      Node& copy = NewNamedElement(closed->name);
      copy.attributes = closed->attributes;
      AppendChild(*m_stack.back(), copy);
      m_stack.push_back(&copy);
    }
  }

  // Pops until the current element is one of `names` (or nothing is open).
  void PopToAny(std::initializer_list<std::string_view> names) {
    while (m_stack.size() > 1 &&
           std::find(names.begin(), names.end(), CurrentName()) == names.end()) {
      m_stack.pop_back();
    }
  }

  // The current element's HTML name; the fragment context's when nothing is open; else empty.
  std::string_view CurrentName() const {
    const Node* current = m_stack.size() > 1 ? m_stack.back() : m_pContext;
    if (!current || current->kind != Node::Kind::Element || current->ns != Namespace::Html) {
      return {};
    }
    return current->name;
  }

  Namespace CurrentNamespace() const {
    const Node* current = m_stack.size() > 1 ? m_stack.back() : m_pContext;
    return current && current->kind == Node::Kind::Element ? current->ns : Namespace::Html;
  }

  // Inside svg or math, except in the places where they hold HTML again.
  bool InForeignContent() const {
    const Node* current = m_stack.size() > 1 ? m_stack.back() : m_pContext;
    if (!current || current->kind != Node::Kind::Element || current->ns == Namespace::Html) {
      return false;
    }
    constexpr std::array<std::string_view, 8> kIntegrationPoints = {
        "foreignObject", "desc", "title", "mi", "mo", "mn", "ms", "mtext"};
    return !OneOf(current->name, kIntegrationPoints);
  }

  void InsertForeign(const Token& token, Namespace ns) {
    Node& element = NewElement(token);
    element.ns = ns;
    if (ns == Namespace::Svg) {
      for (std::string_view svgName : kSvgNames) {
        if (EqualsIgnoringAsciiCase(svgName, element.name)) element.name = svgName;
      }
    }
    Insert(element);
    if (!token.selfClosing) m_stack.push_back(&element);
  }

  // Where new content goes: the current node, or before the table when that is a table part
  // and the content does not belong in a table (foster parenting).
  void Insert(Node& node, bool tablePart = false) {
    Node& parent = *m_stack.back();
    const bool blank = node.kind == Node::Kind::Text &&
                       node.data.find_first_not_of(" \t\n\f") == std::string::npos;
    if (!tablePart && !blank && m_stack.size() > 1 && OneOf(CurrentName(), kTableContexts)) {
      for (std::size_t i = m_stack.size(); i-- > 1;) {
        Node* table = m_stack[i];
        if (!IsHtmlOneOf(*table, "table") || !table->parent) continue;
        InsertBefore(*table, node);
        return;
      }
    }
    AppendChild(parent, node);
  }

  void InsertText(std::string_view text) {
    if (text.empty()) return;
    ReopenFormatting();
    Node& node = NewNode(Node::Kind::Text);
    node.data = text;
    Insert(node);
    MergeWithPrevious(node);
  }

  void AppendText(Node& parent, std::string_view text) {
    Node& node = NewNode(Node::Kind::Text);
    node.data = text;
    AppendChild(parent, node);
  }

  void InsertComment(Node& parent, std::string_view data) {
    Node& node = NewNode(Node::Kind::Comment);
    node.data = data;
    AppendChild(parent, node);
  }

  // Adjacent character data is one text node, as the parser makes it.
  static void MergeWithPrevious(Node& node) {
    Node* previous = node.prev;
    if (!previous || previous->kind != Node::Kind::Text) return;
    previous->data += node.data;
    previous->next = node.next;
    (node.next ? node.next->prev : node.parent->lastChild) = previous;
    node.parent = node.prev = node.next = nullptr;
  }

  static void InsertBefore(Node& before, Node& node) {
    node.parent = before.parent;
    node.next = &before;
    node.prev = before.prev;
    (before.prev ? before.prev->next : before.parent->firstChild) = &node;
    before.prev = &node;
  }

  Node& NewNode(Node::Kind kind) {
    Node& node = m_arena.emplace_back();
    node.kind = kind;
    return node;
  }

  Node& NewElement(const Token& token) {
    Node& element = NewNamedElement(token.name);
    element.attributes = token.attributes;
    return element;
  }

  Node& NewNamedElement(std::string_view name) {
    Node& element = NewNode(Node::Kind::Element);
    element.name = name;
    return element;
  }

  CTokenizer m_tokenizer;
  std::deque<Node>& m_arena;
  std::vector<Node*> m_stack;
  const Node* m_pContext = nullptr;
  std::vector<const Node*> m_arrReopen;
  Node* m_pHtml = nullptr;
  Node* m_pHead = nullptr;
  Node* m_pBody = nullptr;
  // Without a doctype, as the pipeline's view page and every fragment are parsed.
  bool m_bQuirks = true;
  bool m_bAfterBody = false;
  bool m_bAfterHtml = false;
};

}  // namespace

void AppendChild(Node& parent, Node& child) {
  child.parent = &parent;
  child.prev = parent.lastChild;
  child.next = nullptr;
  (parent.lastChild ? parent.lastChild->next : parent.firstChild) = &child;
  parent.lastChild = &child;
}

void ParseFragment(std::string_view markup, dom::Serialization dialect, const Node& context,
                   Node& holder, std::deque<Node>& arena) {
  CTreeBuilder builder(markup, dialect, holder, arena);
  builder.SetContext(context);
  builder.BuildFragment();
}

void ParseDocumentInto(std::string_view html, Node& document, std::deque<Node>& arena) {
  CTreeBuilder builder(html, dom::Serialization::Html5, document, arena);
  builder.BuildDocument();
}

}  // namespace tavrin::test_double
