// Calls into the driver. SKF_CALL_DRIVER(name, args) is the body of a forwarded call: call the
// bound driver function with the arguments unchanged; on a first use bind the entry first, and
// answer SAR_NOTSUPPORTYETERR when the function cannot be had. The exports expand it directly
// (so a structure passed by value is copied once, for the driver). For exports with steps of
// their own there is one inline function per export in namespace skf::driver, with the
// export's own name and argument list (for example the device-information call of a connect
// is skf::driver::SKF_GetDevInfo, the SKF_GetDevInfo entry).
#pragma once

#include "driver_module.h"

// Every call but the first takes the inline path: the bound address is read and called (as a
// tail call). The first use goes through the out-of-line skf::driver::<name>_FirstUse, which
// keeps the argument shuffling around a binding call out of the inline path.
#define SKF_CALL_DRIVER(name, args)                                                     \
  if (void* const function = ::skf::g_driverModule.BoundAddress(::skf::ENTRY_##name)) { \
    return reinterpret_cast<::skf::PFN_##name>(function) args;                          \
  }                                                                                     \
  return ::skf::driver::name##_FirstUse args

namespace skf {
namespace driver {

#define SKF_EXPORT(name, family, widths, params, args)                       \
  __attribute__((noinline)) inline ULONG name##_FirstUse params {            \
    void* const function = g_driverModule.BindSlow(ENTRY_##name);            \
    return function != nullptr ? reinterpret_cast<PFN_##name>(function) args \
                               : SAR_NOTSUPPORTYETERR;                       \
  }                                                                          \
  inline ULONG name params { SKF_CALL_DRIVER(name, args); }
#include "skf_export_table.h"

}  // namespace driver
}  // namespace skf
