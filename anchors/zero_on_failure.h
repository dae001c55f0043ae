// How a step of the pipeline ends when the model fails or memory runs out: with 0, and the run
// goes on (or ends) as the caller decides. Any other exception is a fault and passes on.
#pragma once

#include <new>

#include "browserview/document_model.h"

namespace tavrin {

// `step()`, or 0 when it raised DomError or bad_alloc.
template <class Step>
int ZeroOnFailure(Step&& step) {
  try {
    return step();
  } catch (const dom::DomError&) {
  } catch (const std::bad_alloc&) {
  }
  return 0;
}

}  // namespace tavrin
