// Entry point of tvr6142_q8207_gm.dll. Always answers TRUE, whatever happens inside.
#include <windows.h>

#include "shim_process.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      skf::OnProcessAttach(hinstDLL);
      break;
    case DLL_PROCESS_DETACH:
      skf::OnProcessDetach();
      break;
    default:  // thread attach and detach change nothing
      break;
  }
  return TRUE;
}
