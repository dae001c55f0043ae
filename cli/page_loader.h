// Loads a page and its frames into the portable document model. Local files are read from disk,
// with a base address as the site that address names; web addresses are fetched by the web
// fetcher module, loaded on the first of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "browserview/document_model.h"
#include "browserview/portable/run_budget.h"
#include "cli/web_fetcher.h"

namespace tavrin::cli {

// A document that cannot be had; what() says why.
class CLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct LoaderSettings {
  // The http or https address that a local INPUT stands for; empty: its file: address.
  std::string base;
  // The user's choice of encoding for every document; empty: as each document declares.
  std::string encodingLabel;
  FetchLimits limits;
  // Receives one line for every frame that is left out.
  std::function<void(const std::string&)> warn;
  // Receives one line for every document loaded and every frame that is one loaded before.
  std::function<void(const std::string&)> note;
  // Charged with every document loaded and every byte read, and by every parse; may be null.
  std::shared_ptr<CRunBudget> budget;
  // When the run's time is up: no fetch goes on past it.
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

class CPageLoader {
 public:
  explicit CPageLoader(LoaderSettings settings);
  ~CPageLoader();
  CPageLoader(const CPageLoader&) = delete;
  CPageLoader& operator=(const CPageLoader&) = delete;

  // Loads INPUT (a local path or an http/https address) and its frames at every depth. Once it
  // returns, frame look-ups only hand out what was loaded here. Throws CLoadError when INPUT
  // itself cannot be had, CBudgetExceeded when the page costs more than the budget allows.
  dom::DocumentPtr Load(const std::string& input);

  // The documents loaded, in depth-first pre-order, one per address (one per file for local
  // addresses).
  std::vector<dom::DocumentPtr> FrameDocuments() const;

 private:
  class CState;
  std::shared_ptr<CState> m_pState;
};

}  // namespace tavrin::cli
