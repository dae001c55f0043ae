// 設定.exe: registers and unregisters the band DLL beside it.

#include "settingstool/setup_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tavrin::CSetupApp app;
  app.InitInstance();
  return 0;
}
