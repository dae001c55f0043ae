#include "browserview/portable/html_document.h"

#include <gumbo.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>

#include "browserview/ascii_case.h"
#include "browserview/portable/browser_url.h"
#include "browserview/portable/html_tree.h"

namespace tavrin::dom {
namespace {

constexpr long kNoInterface = static_cast<long>(0x80004002L);            // E_NOINTERFACE
constexpr long kNoModificationAllowed = static_cast<long>(0x80070005L);  // E_ACCESSDENIED

Namespace FromGumbo(GumboNamespaceEnum ns) {
  switch (ns) {
    case GUMBO_NAMESPACE_SVG:
      return Namespace::Svg;
    case GUMBO_NAMESPACE_MATHML:
      return Namespace::MathMl;
    default:
      return Namespace::Html;
  }
}

// gumbo names the tags it knows; others, and SVG's mixed-case names, come from the source text.
std::string ElementName(const GumboElement& element) {
  GumboStringPiece original = element.original_tag;
  if (original.data) gumbo_tag_from_original_text(&original);
  std::string_view written(original.data ? original.data : "", original.length);
  if (element.tag_namespace == GUMBO_NAMESPACE_SVG) {
    if (const char* svgName = gumbo_normalize_svg_tagname(&original)) return svgName;
  }
  if (element.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(element.tag);
  return AsciiLower(written);
}

// Faults in the pages of a full chunk with one call: taken one fault at a time they cost more
// than the parse that fills them, most of all in a virtual machine. The contents stay as they are.
void PrefaultPages(void* block, std::size_t size) noexcept {
#ifdef MADV_POPULATE_WRITE
  const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto address = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t begin = (address + pageSize - 1) / pageSize * pageSize;
  const std::uintptr_t end = (address + size) / pageSize * pageSize;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#endif
}

// gumbo's memory for one parse: blocks cut from chunks that are charged to the run's budget.
// A chunk goes back as soon as every block in it is freed, so the tree being copied into ours
// gives its memory back as it goes. gumbo cannot report a failed allocation, so a parse over
// the budget (or out of memory, or out of time: see CParseTimer) is left by a jump out of gumbo,
// and its chunks are freed whole.
class CGumboArena {
 public:
  // A small text gets a small first chunk: gumbo needs little for it, and most parses are of
  // a single link's markup.
  CGumboArena(CRunBudget* budget, std::size_t textSize)
      : m_pBudget(budget), m_nFirstChunkSize(std::min(kChunkSize, 4096 + 32 * textSize)) {}
  ~CGumboArena() {
    while (m_pChunks) Release(m_pChunks);
  }
  CGumboArena(const CGumboArena&) = delete;
  CGumboArena& operator=(const CGumboArena&) = delete;

  void Use(GumboOptions& options) {
    options.allocator = &CGumboArena::Allocate;
    options.deallocator = &CGumboArena::Deallocate;
    options.userdata = this;
  }

  // gumbo_parse_with_options; null when the parse was abandoned (see ThrowFailure()).
  GumboOutput* Parse(const GumboOptions& options, const std::string& text) {
    // Only gumbo's C frames lie between here and the jump: no destructor is skipped.
    if (sigsetjmp(m_exit, 0) != 0) {
      m_bParsing = 0;
      return nullptr;
    }
    m_bParsing = 1;
    GumboOutput* output = gumbo_parse_with_options(&options, text.data(), text.size());
    m_bParsing = 0;
    return output;
  }
  // The run's time is up (from a signal handler): gumbo is left at once, unless the arena's
  // books or the C library's heap are half changed, in which case when they are whole again.
  void TimeUp() noexcept {
    if (!m_bParsing) return;
    if (m_bInBooks) {
      m_bTimeUp = 1;
      return;
    }
    Abandon(Stop::OverTime);
  }
  // Why Parse gave null.
  [[noreturn]] void ThrowFailure() const {
    if (m_stop != Stop::OutOfMemory) throw m_pBudget->ParserExceeded(m_stop == Stop::OverTime);
    throw std::bad_alloc();
  }

  void Free(void* block) noexcept { Deallocate(this, block); }

 private:
  struct Chunk {
    Chunk* prev;
    Chunk* next;
    std::size_t size;  // bytes after the header
    std::size_t used;
    std::size_t live;  // blocks not yet freed
  };
  // Each block is preceded by its chunk's address; blocks stay 8-byte aligned, all gumbo needs.
  static constexpr std::size_t kHeader = (sizeof(Chunk) + 15) / 16 * 16;
  static constexpr std::size_t kChunkSize = std::size_t{256} << 10;

  static void* Allocate(void* self, std::size_t size) noexcept {
    auto& arena = *static_cast<CGumboArena*>(self);
    if (arena.m_pBudget && !arena.m_pBudget->NoteWork()) arena.Abandon(Stop::OverTime);
    arena.EnterBooks();
    const std::size_t needed = sizeof(Chunk*) + (size + 7) / 8 * 8;
    Chunk* chunk = arena.m_pCurrent;
    if (!chunk || chunk->size - chunk->used < needed) chunk = arena.NewChunk(needed);
    char* block = reinterpret_cast<char*>(chunk) + kHeader + chunk->used;
    chunk->used += needed;
    ++chunk->live;
    *reinterpret_cast<Chunk**>(block) = chunk;
    arena.LeaveBooks();
    return block + sizeof(Chunk*);
  }

  static void Deallocate(void* self, void* pointer) noexcept {
    if (!pointer) return;
    auto& arena = *static_cast<CGumboArena*>(self);
    arena.EnterBooks();
    Chunk* chunk = *reinterpret_cast<Chunk**>(static_cast<char*>(pointer) - sizeof(Chunk*));
    if (--chunk->live == 0) {
      if (chunk == arena.m_pCurrent)
        chunk->used = 0;
      else
        arena.Release(chunk);
    }
    arena.LeaveBooks();
  }

  void EnterBooks() noexcept {
    m_bInBooks = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
  }
  void LeaveBooks() noexcept {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    m_bInBooks = 0;
    if (m_bTimeUp && m_bParsing) Abandon(Stop::OverTime);
  }

  enum class Stop { OutOfMemory, OverMemory, OverTime };
  [[noreturn]] void Abandon(Stop why) noexcept {
    m_stop = why;
    siglongjmp(m_exit, 1);
  }

  Chunk* NewChunk(std::size_t needed) {
    const std::size_t size = std::max(needed, m_pChunks ? kChunkSize : m_nFirstChunkSize);
    if (m_pBudget && !m_pBudget->TryChargeParser(kHeader + size)) Abandon(Stop::OverMemory);
    auto* chunk = static_cast<Chunk*>(std::malloc(kHeader + size));
    if (!chunk) {
      if (m_pBudget) m_pBudget->ReleaseParser(kHeader + size);
      Abandon(Stop::OutOfMemory);
    }
    if (size == kChunkSize) PrefaultPages(chunk, kHeader + size);
    *chunk = {nullptr, m_pChunks, size, 0, 0};
    if (m_pChunks) m_pChunks->prev = chunk;
    m_pChunks = chunk;
    // A large block has a chunk of its own; small ones keep filling the current chunk.
    if (size == kChunkSize || !m_pCurrent) {
      if (m_pCurrent && m_pCurrent->live == 0) Release(m_pCurrent);
      m_pCurrent = chunk;
    }
    return chunk;
  }

  void Release(Chunk* chunk) noexcept {
    (chunk->prev ? chunk->prev->next : m_pChunks) = chunk->next;
    if (chunk->next) chunk->next->prev = chunk->prev;
    if (chunk == m_pCurrent) m_pCurrent = nullptr;
    if (m_pBudget) m_pBudget->ReleaseParser(kHeader + chunk->size);
    std::free(chunk);
  }

  CRunBudget* m_pBudget;
  std::size_t m_nFirstChunkSize;
  Chunk* m_pChunks = nullptr;
  Chunk* m_pCurrent = nullptr;
  Stop m_stop = Stop::OutOfMemory;
  sigjmp_buf m_exit;
  // Shared with TimeUp, which a signal handler calls.
  volatile sig_atomic_t m_bParsing = 0;
  volatile sig_atomic_t m_bInBooks = 0;
  volatile sig_atomic_t m_bTimeUp = 0;
};

// The arena whose parse the running timer bounds.
thread_local CGumboArena* t_pTimedArena = nullptr;

// A processor-time timer for one large parse. gumbo has corners (much text after deep nesting)
// that spend time on every character without allocating, where the arena's own look at the
// clock never comes. The signal is real-time, sent to this thread only, and its handler is ours
// only while the timer lives.
class CParseTimer {
 public:
  CParseTimer(CGumboArena& arena, std::chrono::nanoseconds timeLeft) {
    struct sigaction action{};
    action.sa_handler = &CParseTimer::OnTimeUp;
    action.sa_flags = SA_NODEFER | SA_RESTART;  // the handler may leave by a jump
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGRTMIN, &action, &m_previousAction) != 0) return;
    m_bHandler = true;
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGRTMIN;
    event._sigev_un._tid = gettid();
    if (timer_create(CLOCK_THREAD_CPUTIME_ID, &event, &m_timer) != 0) return;
    m_bTimer = true;
    t_pTimedArena = &arena;
    const std::chrono::nanoseconds left = std::max(timeLeft, std::chrono::nanoseconds(1));
    itimerspec when{};
    when.it_value.tv_sec = std::chrono::duration_cast<std::chrono::seconds>(left).count();
    when.it_value.tv_nsec = (left % std::chrono::seconds(1)).count();
    timer_settime(m_timer, 0, &when, nullptr);
  }
  ~CParseTimer() {
    // A signal still pending is delivered on the way back from timer_delete, to our handler,
    // which finds no parse to stop; only then does the previous handler come back.
    if (m_bTimer) timer_delete(m_timer);
    t_pTimedArena = nullptr;
    if (m_bHandler) sigaction(SIGRTMIN, &m_previousAction, nullptr);
  }
  CParseTimer(const CParseTimer&) = delete;
  CParseTimer& operator=(const CParseTimer&) = delete;

 private:
  static void OnTimeUp(int) {
    if (CGumboArena* arena = t_pTimedArena) arena->TimeUp();
  }

  struct sigaction m_previousAction{};
  bool m_bHandler = false;
  timer_t m_timer{};
  bool m_bTimer = false;
};

// Owns one gumbo parse and the arena it lives in; freeing the arena frees whatever is left.
class CGumboParse {
 public:
  CGumboParse(const std::string& text, GumboOptions options, CRunBudget* budget)
      : m_arena(budget, text.size()) {
    options.max_errors = 0;  // the error list is never read and costs time on broken pages
    m_arena.Use(options);
    // A small text cannot take long, and a timer costs more than its parse.
    constexpr std::size_t kTimedTextSize = std::size_t{64} << 10;
    std::optional<CParseTimer> timer;
    if (budget && text.size() >= kTimedTextSize) timer.emplace(m_arena, budget->TimeLeft());
    m_pOutput = m_arena.Parse(options, text);
    if (!m_pOutput) m_arena.ThrowFailure();
  }
  CGumboParse(const CGumboParse&) = delete;
  CGumboParse& operator=(const CGumboParse&) = delete;
  GumboOutput& Output() { return *m_pOutput; }

  // Frees a node whose children have been freed already, as gumbo would free it.
  void FreeNode(GumboNode* node) {
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
      GumboVector& attributes = node->v.element.attributes;
      for (unsigned i = 0; i < attributes.length; ++i) {
        auto* attribute = static_cast<GumboAttribute*>(attributes.data[i]);
        m_arena.Free(const_cast<char*>(attribute->name));
        m_arena.Free(const_cast<char*>(attribute->value));
        m_arena.Free(attribute);
      }
      m_arena.Free(attributes.data);
      m_arena.Free(node->v.element.children.data);
    } else if (node->type != GUMBO_NODE_DOCUMENT) {
      m_arena.Free(const_cast<char*>(node->v.text.text));
    }
    m_arena.Free(node);
  }

  void FreeVector(GumboVector& vector) {
    m_arena.Free(vector.data);
    vector = {nullptr, 0, 0};
  }

 private:
  CGumboArena m_arena;
  GumboOutput* m_pOutput;
};

}  // namespace

struct CHtmlDocument::Impl {
  std::string url;
  std::string encoding;
  FrameLoader loader;
  std::shared_ptr<CRunBudget> budget;  // may be null: no bounds
  int reparseDepth = 0;                // see AppendParsed
  // Every node ever made, never moved, so handles never dangle; in large blocks, so that a walk
  // over the tree reads memory in order rather than hopping between small allocations.
  std::vector<std::unique_ptr<Node[]>> nodeBlocks;
  std::size_t nodesInLastBlock = 0;
  Node* root = nullptr;
  std::vector<std::pair<long, long>> scrolls;

  // Collections bring themselves up to date from these (see CHtmlCollection::Sync).
  std::uint64_t version = 0;
  const Node* lastChanged = nullptr;

  bool baseKnown = false;
  const Node* baseElement = nullptr;
  std::string baseUrl;

  std::uint64_t framesVersion = UINT64_MAX;
  std::vector<const Node*> frameElements;

  // Blocks grow from 16 nodes, for the many small documents, to 1024.
  static std::size_t BlockSize(std::size_t index) {
    return std::size_t{16} << std::min<std::size_t>(index, 6);
  }

  Node* NewNode(Node::Kind kind) {
    if (nodeBlocks.empty() || nodesInLastBlock == BlockSize(nodeBlocks.size() - 1)) {
      nodeBlocks.push_back(std::make_unique<Node[]>(BlockSize(nodeBlocks.size())));
      nodesInLastBlock = 0;
    }
    Node* node = &nodeBlocks.back()[nodesInLastBlock++];
    node->kind = kind;
    return node;
  }

  static void Append(Node* parent, Node* child) {
    child->parent = parent;
    child->prev = parent->lastChild;
    child->next = nullptr;
    (parent->lastChild ? parent->lastChild->next : parent->firstChild) = child;
    parent->lastChild = child;
  }

  // Moves gumbo's nodes under `target` into our tree, without recursion: each gumbo node is
  // freed once it and its children are copied, and `children` is left empty.
  //
  // A browser with scripting on reads noscript's content as text, up to "</noscript", and
  // parses what follows as markup after the noscript. gumbo parses the content as markup, and
  // in a head even moves that markup into the body; so the text is taken from the source, every
  // node gumbo made of it is passed over, and what gumbo put inside but lies beyond the end tag
  // follows the noscript. A comment or text that runs across the end tag is cut there and its
  // rest parsed again.
  void Convert(CGumboParse& parse, GumboVector& children, Node* target, const std::string& text) {
    struct Pending {
      GumboNode* owner;  // the element whose children these are; null for the top level
      unsigned index;
      Node* target;
    };
    std::vector<Pending> stack{{nullptr, 0, target}};
    auto childrenOf = [&children](const Pending& pending) -> GumboVector& {
      return pending.owner ? pending.owner->v.element.children : children;
    };
    std::size_t noscriptEnd = 0;  // source offset up to which nodes belong to noscript text
    while (!stack.empty()) {
      Pending& top = stack.back();
      if (top.index == childrenOf(top).length) {
        if (top.owner) parse.FreeNode(top.owner);
        stack.pop_back();
        continue;
      }
      auto& child = *static_cast<GumboNode*>(childrenOf(top).data[top.index++]);
      Node* parent = top.target;
      const bool insideNoscript = SourceOffset(child) < noscriptEnd;
      switch (child.type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
          if (insideNoscript) {
            stack.push_back({&child, 0, parent});
            break;
          }
          Node* element = NewElement(child.v.element);
          Append(parent, element);
          if (element->IsHtml("noscript") && child.v.element.original_tag.data) {
            noscriptEnd = AppendNoscriptText(child.v.element, element, text);
            stack.push_back({&child, 0, parent});
            break;
          }
          stack.push_back({&child, 0, element});
          break;
        }
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
        case GUMBO_NODE_COMMENT:
          if (!insideNoscript) {
            AppendText(parent, child.v.text.text,
                       child.type == GUMBO_NODE_COMMENT ? Node::Kind::Comment : Node::Kind::Text);
          } else if (const std::size_t end = SourceEnd(child, text); end > noscriptEnd) {
            AppendParsed(parent, text.substr(noscriptEnd, end - noscriptEnd));
          }
          parse.FreeNode(&child);
          break;
        case GUMBO_NODE_DOCUMENT:
          break;
      }
    }
    parse.FreeVector(children);
  }

  // The source offset just after a text or comment node.
  static std::size_t SourceEnd(const GumboNode& node, const std::string& text) {
    const GumboStringPiece& source = node.v.text.original_text;
    if (!source.data || source.data < text.data() || source.data > text.data() + text.size())
      return 0;
    return static_cast<std::size_t>(source.data - text.data()) + source.length;
  }

  // `html` parsed as the content of `parent` and appended to it. Such a piece can hold another
  // noscript cut the same way; beyond a few levels the rest stays text, so that the work stays
  // linear in the page.
  void AppendParsed(Node* parent, const std::string& html) {
    constexpr int kMaxReparseDepth = 4;
    if (parent->kind != Node::Kind::Element || reparseDepth == kMaxReparseDepth)
      return AppendText(parent, html, Node::Kind::Text);
    struct CDepth {
      int& depth;
      ~CDepth() { --depth; }
    } const level{++reparseDepth};
    InsertChildren(ParseFragment(html, *parent), parent, nullptr);
  }

  // Where gumbo found the node in the source; elements the parser implied never count as inside.
  static std::size_t SourceOffset(const GumboNode& node) {
    if (node.type == GUMBO_NODE_ELEMENT || node.type == GUMBO_NODE_TEMPLATE) {
      return node.v.element.original_tag.length ? node.v.element.start_pos.offset : SIZE_MAX;
    }
    return node.type == GUMBO_NODE_DOCUMENT ? SIZE_MAX : node.v.text.start_pos.offset;
  }

  Node* NewElement(const GumboElement& source) {
    Node* element = NewNode(Node::Kind::Element);
    element->name = ElementName(source);
    element->ns = FromGumbo(source.tag_namespace);
    element->attributes.reserve(source.attributes.length);
    for (unsigned i = 0; i < source.attributes.length; ++i) {
      const auto& attribute = *static_cast<const GumboAttribute*>(source.attributes.data[i]);
      element->attributes.push_back({attribute.name, attribute.value});
    }
    if (element->IsHtml("base")) baseKnown = false;
    return element;
  }

  void AppendText(Node* parent, std::string_view data, Node::Kind kind) {
    Node* node = NewNode(kind);
    node->data = data;
    Append(parent, node);
  }

  // Gives noscript the source text up to its end tag; returns the offset after that end tag.
  std::size_t AppendNoscriptText(const GumboElement& source, Node* element,
                                 const std::string& text) {
    const std::size_t begin =
        std::min(text.size(), static_cast<std::size_t>(source.original_tag.data - text.data()) +
                                  source.original_tag.length);
    std::size_t end = begin;
    while ((end = text.find("</", end)) != std::string::npos) {
      if (AsciiLower(std::string_view(text).substr(end + 2, 8)) == "noscript") break;
      end += 2;
    }
    if (end == std::string::npos) end = text.size();
    if (end > begin)
      AppendText(element, std::string_view(text).substr(begin, end - begin), Node::Kind::Text);
    const std::size_t close = text.find('>', end);
    return close == std::string::npos ? text.size() : close + 1;
  }

  // Parses `html` as the content of `context` and gives the detached top-level nodes.
  Node* ParseFragment(const std::string& html, const Node& context) {
    GumboOptions options = kGumboDefaultOptions;
    options.fragment_namespace = context.ns == Namespace::Svg      ? GUMBO_NAMESPACE_SVG
                                 : context.ns == Namespace::MathMl ? GUMBO_NAMESPACE_MATHML
                                                                   : GUMBO_NAMESPACE_HTML;
    GumboTag tag = gumbo_tag_enum(context.name.c_str());
    if (tag == GUMBO_TAG_UNKNOWN) {
      tag = context.ns == Namespace::Svg      ? GUMBO_TAG_SVG
            : context.ns == Namespace::MathMl ? GUMBO_TAG_MATH
                                              : GUMBO_TAG_DIV;
    }
    options.fragment_context = tag;
    Node* holder = NewNode(Node::Kind::Document);
    if (html.empty()) return holder;  // removing an element is the most common change
    CGumboParse parse(html, options, budget.get());
    Convert(parse, parse.Output().root->v.element.children, holder, html);
    return holder;
  }

  static void Unlink(Node* node) {
    (node->prev ? node->prev->next : node->parent->firstChild) = node->next;
    (node->next ? node->next->prev : node->parent->lastChild) = node->prev;
    node->parent = node->prev = node->next = nullptr;
  }

  // Moves the children of `holder` into `parent` before `before` (at the end when null).
  static void InsertChildren(Node* holder, Node* parent, Node* before) {
    while (Node* child = holder->firstChild) {
      Unlink(child);
      child->parent = parent;
      child->next = before;
      child->prev = before ? before->prev : parent->lastChild;
      (child->prev ? child->prev->next : parent->firstChild) = child;
      (before ? before->prev : parent->lastChild) = child;
    }
  }

  bool IsConnected(const Node* node) const {
    while (node->parent) node = node->parent;
    return node == root;
  }

  // Every change goes through one of these two: `changed` is the element whose attributes
  // changed, or the node replaced, or the element whose children changed. The base address is
  // looked up again only when a base element may have come, gone or changed: new base elements
  // mark it themselves (NewElement), so a write to a link costs nothing however deep the base.
  // A written attribute is memory of the model, charged as the parser's is: every link of a
  // page resolved against a long base address and written back would take far more memory
  // than the page's size.
  void SetAttribute(Node* element, const std::string& name, const std::string& value) {
    if (budget) {
      const std::string* old = element->FindAttribute(name);
      const std::size_t grown = value.size() - std::min(value.size(), old ? old->size() : 0);
      if (!budget->TryChargeParser(grown)) throw budget->ParserExceeded(false);
    }
    element->SetAttribute(name, value);
    NoteChange(element);
    if (element->IsHtml("base")) baseKnown = false;
  }
  void NoteTreeChange(const Node* changed) {
    NoteChange(changed);
    if (baseElement && !IsConnected(baseElement)) baseKnown = false;
  }
  void NoteChange(const Node* changed) {
    ++version;
    lastChanged = changed;
  }

  const std::string& BaseUrl() {
    if (baseKnown) return baseUrl;
    baseElement = nullptr;
    baseUrl = url;
    for (const Node* node = root; node; node = NextInDocument(node, root)) {
      const std::string* href = node->IsHtml("base") ? node->FindAttribute("href") : nullptr;
      if (!href) continue;
      baseElement = node;
      std::string resolved = url::ResolveUrl(url, *href, encoding).value_or(url);
      // As browsers do, a script or data base leaves the document's own address.
      if (!resolved.starts_with("javascript:") && !resolved.starts_with("data:")) {
        baseUrl = std::move(resolved);
      }
      break;
    }
    baseKnown = true;
    return baseUrl;
  }

  // Resolving takes time in proportion to the base address, which a page may make long.
  std::string Resolve(const std::string* attribute) {
    if (!attribute) return {};
    const std::string& base = BaseUrl();
    if (budget && !budget->NoteWork(base.size() + attribute->size()))
      throw budget->ParserExceeded(true);
    return url::ResolveUrl(base, *attribute, encoding).value_or(*attribute);
  }

  const std::vector<const Node*>& FrameElements() {
    if (framesVersion == version) return frameElements;
    frameElements.clear();
    for (const Node* node = root; node; node = NextInDocument(node, root)) {
      if (node->IsHtml("frame") || node->IsHtml("iframe")) frameElements.push_back(node);
    }
    framesVersion = version;
    return frameElements;
  }

  std::string FrameUrl(const Node& frame) {
    const std::string* src = frame.FindAttribute("src");
    if (!src || src->empty()) return "about:blank";
    return Resolve(src);
  }

  Node* BodyElement() const {
    const Node* html = HtmlElement();
    for (Node* node = html ? html->firstChild : nullptr; node; node = node->next) {
      if (node->IsHtml("body") || node->IsHtml("frameset")) return node;
    }
    return nullptr;
  }

  const Node* HtmlElement() const {
    for (const Node* node = root->firstChild; node; node = node->next) {
      if (node->IsHtml("html")) return node;
    }
    return nullptr;
  }
};

namespace {

using Impl = CHtmlDocument::Impl;

class CHtmlNode : public INode {
 public:
  CHtmlNode(std::shared_ptr<CHtmlDocument> document, Impl& impl, Node* node)
      : m_pDocument(std::move(document)), m_impl(impl), m_pNode(node) {}

  NodeType Type() const override {
    switch (m_pNode->kind) {
      case Node::Kind::Element:
        return NodeType::Element;
      case Node::Kind::Text:
        return NodeType::Text;
      default:
        return NodeType::Other;
    }
  }
  std::string Data() const override {
    return m_pNode->kind == Node::Kind::Text ? m_pNode->data : std::string();
  }
  std::string TagName() const override {
    if (!IsElement()) return {};
    return m_pNode->ns == Namespace::Html ? AsciiUpper(m_pNode->name) : m_pNode->name;
  }
  std::vector<Attribute> Attributes() const override { return m_pNode->attributes; }
  std::vector<NodePtr> ChildNodes() const override {
    std::vector<NodePtr> children;
    for (Node* child = m_pNode->firstChild; child; child = child->next) {
      children.push_back(std::make_shared<CHtmlNode>(m_pDocument, m_impl, child));
    }
    return children;
  }

  bool IsElement() const override { return m_pNode->kind == Node::Kind::Element; }
  bool IsAnchor() const override { return m_pNode->IsHtml("a"); }
  bool IsImage() const override { return m_pNode->IsHtml("img"); }
  bool IsFont() const override { return m_pNode->IsHtml("font"); }

  std::string Href() const override {
    Require(IsAnchor());
    return m_impl.Resolve(m_pNode->FindAttribute("href"));
  }
  void SetHref(const std::string& href) override {
    Require(IsAnchor());
    SetAttribute("href", href);
  }
  std::string Src() const override {
    Require(IsImage());
    return m_impl.Resolve(m_pNode->FindAttribute("src"));
  }
  void SetSrc(const std::string& src) override {
    Require(IsImage());
    SetAttribute("src", src);
  }
  std::string Alt() const override {
    Require(IsImage());
    const std::string* alt = m_pNode->FindAttribute("alt");
    return alt ? *alt : std::string();
  }

  std::string InnerHtml() const override {
    Require(IsElement());
    return SerializeChildren(*m_pNode);
  }
  void SetInnerHtml(const std::string& html) override {
    Require(IsElement());
    Node* holder = m_impl.ParseFragment(html, *m_pNode);
    while (Node* child = m_pNode->firstChild) Impl::Unlink(child);
    Impl::InsertChildren(holder, m_pNode, nullptr);
    m_impl.NoteTreeChange(m_pNode);
  }
  void SetOuterHtml(const std::string& html) override {
    Node* parent = ParentElement();
    Node* holder = m_impl.ParseFragment(html, *parent);
    Impl::InsertChildren(holder, parent, m_pNode);
    Impl::Unlink(m_pNode);
    m_impl.NoteTreeChange(m_pNode);
  }
  void Remove() override {
    ParentElement();
    Impl::Unlink(m_pNode);
    m_impl.NoteTreeChange(m_pNode);
  }
  void RemoveKeepingContent() override {
    Impl::InsertChildren(m_pNode, ParentElement(), m_pNode);
    Impl::Unlink(m_pNode);
    m_impl.NoteTreeChange(m_pNode);
  }

 private:
  static void Require(bool hasInterface) {
    if (!hasInterface) throw DomError(kNoInterface, "the node lacks the interface");
  }
  void SetAttribute(const std::string& name, const std::string& value) {
    m_impl.SetAttribute(m_pNode, name, value);
  }
  // Only an element inside an element can be replaced or removed, as in a browser.
  Node* ParentElement() const {
    Require(IsElement());
    Node* parent = m_pNode->parent;
    if (!parent || parent->kind != Node::Kind::Element) {
      throw DomError(kNoModificationAllowed, "an element without a parent element");
    }
    return parent;
  }

  std::shared_ptr<CHtmlDocument> m_pDocument;  // keeps the tree alive
  Impl& m_impl;
  Node* m_pNode;
};

// A live collection, filled lazily in document order. A change drops only the entries from the
// changed node on, when the change was made to the item read last (the way every pass of the
// pipeline changes a collection while indexing it); any other change empties it.
class CHtmlCollection : public ICollection {
 public:
  CHtmlCollection(std::shared_ptr<CHtmlDocument> document, Impl& impl, CLiveSelection selection)
      : m_pDocument(std::move(document)), m_impl(impl), m_selection(std::move(selection)) {}

  long Length() override { return static_cast<long>(ItemsTo(SIZE_MAX).size()); }

  NodePtr Item(long index) override {
    if (index < 0) return nullptr;
    const auto position = static_cast<std::size_t>(index);
    const std::vector<Node*>& items = ItemsTo(position);
    if (position >= items.size()) return nullptr;
    m_selection.NoteRead(position);
    return std::make_shared<CHtmlNode>(m_pDocument, m_impl, items[position]);
  }

  CollectionPtr Tags(const std::string& name) override {
    return std::make_shared<CHtmlCollection>(m_pDocument, m_impl,
                                             m_selection.Tagged(name, m_impl.version));
  }

 private:
  const std::vector<Node*>& ItemsTo(std::size_t position) {
    return m_selection.ItemsTo(position, m_impl.root, m_impl.version, m_impl.lastChanged);
  }

  std::shared_ptr<CHtmlDocument> m_pDocument;
  Impl& m_impl;
  CLiveSelection m_selection;
};

// The window of a frame: its document comes from the program's loader when asked for.
class CFrameWindow : public IWindow {
 public:
  CFrameWindow(FrameLoader loader, std::string url)
      : m_loader(std::move(loader)), m_strUrl(std::move(url)) {}

  long FrameCount() override {
    WindowPtr window = DocumentWindow();
    return window ? window->FrameCount() : 0;
  }
  WindowPtr Frame(long index) override {
    WindowPtr window = DocumentWindow();
    return window ? window->Frame(index) : nullptr;
  }
  DocumentPtr Document() override { return m_loader ? m_loader(m_strUrl) : nullptr; }
  void ScrollTo(long x, long y) override {
    if (WindowPtr window = DocumentWindow()) window->ScrollTo(x, y);
  }

 private:
  WindowPtr DocumentWindow() {
    DocumentPtr document = Document();
    return document ? document->ParentWindow() : nullptr;
  }

  FrameLoader m_loader;
  std::string m_strUrl;
};

class CHtmlWindow : public IWindow {
 public:
  CHtmlWindow(std::shared_ptr<CHtmlDocument> document, Impl& impl)
      : m_pDocument(std::move(document)), m_impl(impl) {}

  long FrameCount() override { return static_cast<long>(m_impl.FrameElements().size()); }
  WindowPtr Frame(long index) override {
    const auto& frames = m_impl.FrameElements();
    if (index < 0 || static_cast<std::size_t>(index) >= frames.size()) return nullptr;
    return std::make_shared<CFrameWindow>(m_impl.loader, m_impl.FrameUrl(*frames[index]));
  }
  DocumentPtr Document() override { return m_pDocument; }
  void ScrollTo(long x, long y) override { m_impl.scrolls.emplace_back(x, y); }

 private:
  std::shared_ptr<CHtmlDocument> m_pDocument;
  Impl& m_impl;
};

}  // namespace

CHtmlDocument::CHtmlDocument() : m_pImpl(std::make_unique<Impl>()) {}
CHtmlDocument::~CHtmlDocument() = default;

std::shared_ptr<CHtmlDocument> CHtmlDocument::Parse(const std::string& html, const std::string& url,
                                                    const std::string& encoding, FrameLoader loader,
                                                    std::shared_ptr<CRunBudget> budget) {
  std::shared_ptr<CHtmlDocument> document(new CHtmlDocument());
  Impl& impl = *document->m_pImpl;
  impl.url = url::NormalizeUrl(url).value_or(url);
  impl.encoding = encoding;
  impl.loader = std::move(loader);
  impl.root = impl.NewNode(Node::Kind::Document);

  impl.budget = std::move(budget);
  CGumboParse parse(html, kGumboDefaultOptions, impl.budget.get());
  GumboDocument& parsed = parse.Output().document->v.document;
  if (parsed.has_doctype) {
    Node* doctype = impl.NewNode(Node::Kind::Doctype);
    doctype->name = parsed.name;
    Impl::Append(impl.root, doctype);
  }
  impl.Convert(parse, parsed.children, impl.root, html);
  return document;
}

std::string CHtmlDocument::Url() {
  return m_pImpl->url;
}

CollectionPtr CHtmlDocument::Links() {
  return std::make_shared<CHtmlCollection>(shared_from_this(), *m_pImpl,
                                           CLiveSelection(Selection::Links, {}, m_pImpl->version));
}

CollectionPtr CHtmlDocument::Images() {
  return std::make_shared<CHtmlCollection>(shared_from_this(), *m_pImpl,
                                           CLiveSelection(Selection::Images, {}, m_pImpl->version));
}

CollectionPtr CHtmlDocument::All() {
  return std::make_shared<CHtmlCollection>(shared_from_this(), *m_pImpl,
                                           CLiveSelection(Selection::All, {}, m_pImpl->version));
}

NodePtr CHtmlDocument::Body() {
  Node* body = m_pImpl->BodyElement();
  return body ? std::make_shared<CHtmlNode>(shared_from_this(), *m_pImpl, body) : nullptr;
}

WindowPtr CHtmlDocument::ParentWindow() {
  return std::make_shared<CHtmlWindow>(shared_from_this(), *m_pImpl);
}

std::string CHtmlDocument::Serialize() const {
  return SerializeChildren(*m_pImpl->root);
}

std::vector<std::string> CHtmlDocument::SerializeInPieces(std::size_t pieceSize) const {
  return SerializeChildrenInPieces(*m_pImpl->root, pieceSize);
}

const std::vector<std::pair<long, long>>& CHtmlDocument::Scrolls() const {
  return m_pImpl->scrolls;
}

const Node& CHtmlDocument::Root() const {
  return *m_pImpl->root;
}

std::string CHtmlDocument::ResolvedAttribute(const Node& element, const std::string& name) {
  return m_pImpl->Resolve(element.FindAttribute(name));
}

Node& CHtmlDocument::BodyElement() {
  Node* body = m_pImpl->BodyElement();
  if (!body) throw DomError(kNoInterface, "the document has no body");
  return *body;
}

void CHtmlDocument::AppendHtml(Node& parent, const std::string& html) {
  Impl::InsertChildren(m_pImpl->ParseFragment(html, parent), &parent, nullptr);
  m_pImpl->NoteTreeChange(&parent);
}

const Node& CHtmlDocument::ParseDetached(const std::string& html, const Node& context) {
  return *m_pImpl->ParseFragment(html, context);
}

Node& CHtmlDocument::AppendCopy(Node& parent, const Node& source) {
  Impl& impl = *m_pImpl;
  auto copyOf = [&impl](const Node& node) {
    Node* copy = impl.NewNode(node.kind);
    copy->ns = node.ns;
    copy->name = node.name;
    copy->attributes = node.attributes;
    copy->data = node.data;
    if (copy->IsHtml("base")) impl.baseKnown = false;
    return copy;
  };
  Node* top = copyOf(source);
  // Without recursion: each source node's copy hangs under the copy of its parent.
  std::vector<std::pair<const Node*, Node*>> pending{{&source, top}};
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    for (const Node* child = from->firstChild; child; child = child->next) {
      Node* copy = copyOf(*child);
      Impl::Append(to, copy);
      pending.emplace_back(child, copy);
    }
  }
  Impl::Append(&parent, top);
  impl.NoteTreeChange(&parent);
  return *top;
}

void CHtmlDocument::AppendText(Node& parent, std::string data) {
  Node* text = m_pImpl->NewNode(Node::Kind::Text);
  text->data = std::move(data);
  Impl::Append(&parent, text);
  m_pImpl->NoteTreeChange(&parent);
}

void CHtmlDocument::SetAttribute(Node& element, const std::string& name, const std::string& value) {
  m_pImpl->SetAttribute(&element, name, value);
}

void CHtmlDocument::RemoveChildren(Node& parent) {
  while (Node* child = parent.firstChild) Impl::Unlink(child);
  m_pImpl->NoteTreeChange(&parent);
}

}  // namespace tavrin::dom
