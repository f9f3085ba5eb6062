// Process attach and detach of the shim.
#include "shim_process.h"

#include "driver_module.h"
#include "driver_path.h"

namespace skf {

void OnProcessAttach(HMODULE self) noexcept {
  char driverPath[MAX_PATH];
  const bool havePath = BuildDriverPath(self, driverPath);
  // Without a whole path nothing is loaded, and no path is kept to retry with. The load's
  // result is not needed: a failed load leaves every entry unbindable for good.
  if (havePath) g_driverModule.Load(driverPath);
}

void OnProcessDetach() noexcept { g_driverModule.Release(); }

}  // namespace skf
