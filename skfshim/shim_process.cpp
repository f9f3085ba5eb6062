// Process attach and detach of the shim.
#include "shim_process.h"

#include "driver_module.h"
#include "driver_path.h"
#include "handle_manager.h"

namespace skf {

void OnProcessAttach(HMODULE self) noexcept {
  char driverPath[MAX_PATH];
  const bool havePath = BuildDriverPath(self, driverPath);
  // The records exist before any export can run (Instance() makes them later only if this
  // allocation failed).
  if (g_handleManager == nullptr) CHandleManager::Instance();
  // Without a whole path nothing is loaded, and no path is kept to retry with. The load's
  // result is not needed: a failed load leaves every entry unbindable for good.
  if (havePath) g_driverModule.Load(driverPath);
}

void OnProcessDetach() noexcept {
  g_driverModule.Release();
  // Records of devices still connected and applications still open go with the manager; the
  // driver is not asked to close anything.
  delete g_handleManager;
  g_handleManager = nullptr;
}

}  // namespace skf
