// Calls into the driver, one inline function per export in namespace skf::driver with the
// export's own name and argument list: call the bound driver function with the arguments
// unchanged; on a first use bind the entry first, and answer SAR_NOTSUPPORTYETERR when the
// function cannot be had. The exports forward through these; an export with steps of its own
// calls them too (for example the device-information call of a connect uses
// skf::driver::SKF_GetDevInfo, which is the SKF_GetDevInfo entry).
#pragma once

#include "driver_module.h"

namespace skf {
namespace driver {

// Every call but the first of an export takes the inline path: the bound address is read and
// called (as a tail call). The first use goes through the out-of-line binding path, which
// keeps the argument shuffling around a binding call out of the inline path.
#define SKF_EXPORT(name, family, widths, params, args)                                \
  __attribute__((noinline)) inline ULONG name##_FirstUse params {                     \
    void* const function = g_driverModule.BindSlow(ENTRY_##name);                   \
    return function != nullptr ? reinterpret_cast<PFN_##name>(function) args        \
                               : SAR_NOTSUPPORTYETERR;                              \
  }                                                                                 \
  inline ULONG name params {                                                        \
    void* const function = g_driverModule.BoundAddress(ENTRY_##name);               \
    if (__builtin_expect(function != nullptr, 1)) {                                 \
      return reinterpret_cast<PFN_##name>(function) args;                           \
    }                                                                               \
    return name##_FirstUse args;                                                    \
  }
#include "skf_export_table.h"

}  // namespace driver
}  // namespace skf
