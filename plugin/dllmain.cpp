// What exists while kova_websocket.dll is loaded besides its zero-initialised state: the one
// process lock, built by the loader's static initialisation and closed at unload. It lives here,
// in the DLL alone, so that programs linking the plug-in's modules directly do not create it.
#include "ProcLock.h"

namespace {
ProcLock g_procLock("kova_ws_log_mutex");
}  // namespace
