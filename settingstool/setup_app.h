#pragma once
// The settings tool's application object: one copy runs at a time, and it shows the main dialog.

#include "settingstool/instance_mutex.h"

namespace tavrin {

class CSetupApp {
 public:
  // Does all the work; false: no message loop is to run, the program ends.
  bool InitInstance() noexcept;

 private:
  // Held as long as the application object lives.
  CInstanceMutex m_instanceMutex;
};

// Brings the running copy's dialog to the front; false when it cannot be found.
bool ActivateRunningInstance() noexcept;

}  // namespace tavrin
