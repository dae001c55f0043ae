// What one run over pages from anyone may cost: documents loaded, bytes read, bytes of list
// built, the parser's memory and processor time. A page cannot cost more than its size allows.
#pragma once

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrin {

struct RunLimits {
  std::size_t maxDocuments = 256;
  std::size_t maxBytesRead = std::size_t{512} << 20;
  // The list and the parser may take a fixed amount plus a multiple of the bytes read so far:
  // ordinary pages stay far below, a page built to blow up is stopped early.
  std::size_t listBytes = std::size_t{64} << 20;
  std::size_t listBytesPerByteRead = 16;
  std::size_t parserBytes = std::size_t{192} << 20;
  std::size_t parserBytesPerByteRead = 24;
  // The run's processor time, checked while parsing: the parser has corners (deep nesting)
  // where its work grows with the square of the page while its memory does not.
  std::chrono::milliseconds processorTime{1000};
  std::chrono::nanoseconds processorTimePerByteRead{500};
};

// The run went over its budget; what() says which part, for the user.
class CBudgetExceeded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CRunBudget {
 public:
  // The run's processor time counts from here.
  explicit CRunBudget(RunLimits limits = {});

  // One more document to load. Throws CBudgetExceeded.
  void ChargeDocument();
  // How many more documents and bytes the run may load and read.
  std::size_t DocumentsLeft() const noexcept;
  std::size_t BytesLeft() const noexcept;
  // Bytes of a document read. Throws CBudgetExceeded.
  void ChargeRead(std::size_t bytes);
  // Bytes of list built. Throws CBudgetExceeded.
  void ChargeList(std::size_t bytes);
  // Bytes of snapshot built, bounded as the list is. Throws CBudgetExceeded.
  void ChargeSnapshot(std::size_t bytes);
  // Parser memory taken: false, charging nothing, when it would go over the budget.
  bool TryChargeParser(std::size_t bytes) noexcept;
  void ReleaseParser(std::size_t bytes) noexcept;
  // One more step of work by the model (a parser allocation, an address resolved), taking time
  // in proportion to `bytes` where that can be large. Every few hundred steps, and after every
  // mebibyte, the run's processor time is read: false when the run has spent more than it may.
  // Reading the clock for every parse would cost more than parsing a link's markup.
  bool NoteWork(std::size_t bytes = 0) noexcept;
  // The processor time the run may still spend; from the thread that made the budget, whose
  // clock it reads.
  std::chrono::nanoseconds TimeLeft() const noexcept;
  // The error for a parse that TryChargeParser (or, with `bTime`, NoteWork) stopped.
  CBudgetExceeded ParserExceeded(bool bTime) const;

 private:
  void ChargeOutput(std::size_t& charged, std::size_t bytes, std::string_view what);
  std::size_t Allowed(std::size_t fixed, std::size_t perByteRead) const;
  std::chrono::nanoseconds AllowedTime() const;

  RunLimits m_limits;
  std::size_t m_nDocuments = 0;
  std::size_t m_nBytesRead = 0;
  std::size_t m_nListBytes = 0;
  std::size_t m_nSnapshotBytes = 0;
  std::size_t m_nParserBytes = 0;
  std::chrono::nanoseconds m_start;
  unsigned m_nSteps = 0;
  std::size_t m_nWorkBytes = 0;
};

}  // namespace tavrin
