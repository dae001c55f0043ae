// The loaded documents as JSON, as the Windows tests' browser double reads them, so that a run
// through MSHTML's interfaces sees exactly the trees this program parsed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "browserview/portable/html_document.h"

namespace tavrin::cli {

// `documents` in the order of the frame document list; `top` one of them. Call it before the
// run, which rewrites link and image addresses. Throws CBudgetExceeded when the snapshot grows
// larger than `budget` (may be null) allows.
std::string BuildSnapshot(const std::vector<dom::DocumentPtr>& documents,
                          const dom::DocumentPtr& top, dom::CHtmlDocument& view,
                          CRunBudget* budget);

}  // namespace tavrin::cli
