// Entry of KOVAWsSvrMonitor.exe, a windowed program without a window: a command word, or the
// service when the manager starts it.
#include <windows.h>

#include "command_line.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*command_tail*/,
                   int /*show*/) {
  return kova_monitor::monitor_main(GetCommandLineA());
}
