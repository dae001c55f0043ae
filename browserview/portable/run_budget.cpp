#include "browserview/portable/run_budget.h"

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tavrin {
namespace {

std::string Mebibytes(std::size_t bytes) {
  return std::to_string((bytes + (std::size_t{1} << 20) - 1) >> 20) + " MiB";
}

// The run's own thread: a resolver thread of the network library does not count.
std::chrono::nanoseconds ProcessorTime() noexcept {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

CRunBudget::CRunBudget(RunLimits limits) : m_limits(limits), m_start(ProcessorTime()) {}

void CRunBudget::ChargeDocument() {
  if (m_nDocuments == m_limits.maxDocuments) {
    throw CBudgetExceeded("the page has more than " + std::to_string(m_limits.maxDocuments) +
                          " documents");
  }
  ++m_nDocuments;
}

std::size_t CRunBudget::DocumentsLeft() const noexcept {
  return m_limits.maxDocuments - m_nDocuments;
}

std::size_t CRunBudget::BytesLeft() const noexcept {
  return m_limits.maxBytesRead - m_nBytesRead;
}

void CRunBudget::ChargeRead(std::size_t bytes) {
  if (bytes > m_limits.maxBytesRead - m_nBytesRead) {
    throw CBudgetExceeded("the page and its frames are larger than " +
                          Mebibytes(m_limits.maxBytesRead));
  }
  m_nBytesRead += bytes;
}

void CRunBudget::ChargeList(std::size_t bytes) {
  ChargeOutput(m_nListBytes, bytes, "the list");
}

void CRunBudget::ChargeSnapshot(std::size_t bytes) {
  ChargeOutput(m_nSnapshotBytes, bytes, "the snapshot");
}

void CRunBudget::ChargeOutput(std::size_t& charged, std::size_t bytes, std::string_view what) {
  const std::size_t allowed = Allowed(m_limits.listBytes, m_limits.listBytesPerByteRead);
  if (bytes > allowed - std::min(allowed, charged)) {
    throw CBudgetExceeded(std::string(what) + " would be larger than " + Mebibytes(allowed) +
                          ", more than a page of this size gives");
  }
  charged += bytes;
}

bool CRunBudget::TryChargeParser(std::size_t bytes) noexcept {
  const std::size_t allowed = Allowed(m_limits.parserBytes, m_limits.parserBytesPerByteRead);
  if (bytes > allowed - std::min(allowed, m_nParserBytes)) return false;
  m_nParserBytes += bytes;
  return true;
}

void CRunBudget::ReleaseParser(std::size_t bytes) noexcept {
  m_nParserBytes -= std::min(bytes, m_nParserBytes);
}

bool CRunBudget::NoteWork(std::size_t bytes) noexcept {
  // Often enough to stop a parse that went astray within a moment.
  constexpr unsigned kClockInterval = 512;
  constexpr std::size_t kWorkInterval = std::size_t{1} << 20;
  m_nWorkBytes += bytes;
  if (++m_nSteps % kClockInterval != 0 && m_nWorkBytes < kWorkInterval) return true;
  m_nWorkBytes = 0;
  return TimeLeft() >= std::chrono::nanoseconds(0);
}

std::chrono::nanoseconds CRunBudget::TimeLeft() const noexcept {
  return AllowedTime() - (ProcessorTime() - m_start);
}

CBudgetExceeded CRunBudget::ParserExceeded(bool bTime) const {
  const std::string what =
      bTime ? "the page needs more than " +
                  std::to_string(
                      std::chrono::duration_cast<std::chrono::milliseconds>(AllowedTime()).count()) +
                  " ms of processor time"
            : "the page needs more than " +
                  Mebibytes(Allowed(m_limits.parserBytes, m_limits.parserBytesPerByteRead)) +
                  " of memory";
  return CBudgetExceeded(what + ", more than a page of its size may");
}

std::chrono::nanoseconds CRunBudget::AllowedTime() const {
  return m_limits.processorTime +
         m_limits.processorTimePerByteRead * static_cast<std::int64_t>(m_nBytesRead);
}

std::size_t CRunBudget::Allowed(std::size_t fixed, std::size_t perByteRead) const {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  if (perByteRead != 0 && m_nBytesRead > (kMax - fixed) / perByteRead) return kMax;
  return fixed + perByteRead * m_nBytesRead;
}

}  // namespace tavrin
