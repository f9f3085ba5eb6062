// The exports: each one forwards to the driver function of its own name (SKF_CALL_DRIVER).
// The row's family says what an export does around the call.
#include "skf_exports.h"

#include "handle_manager.h"
#include "skf_driver_calls.h"

// Forwards the call unchanged and returns the driver's result.
#define SKF_FORWARD_PLAIN(name, params, args) \
  SKF_API ULONG WINAPI name params { SKF_CALL_DRIVER(name, args); }

// Exports whose first argument is an application handle: a shim handle becomes the driver's
// handle behind it before the call (every row of this family names that argument hApplication).
#define SKF_FORWARD_APPHANDLE(name, params, args)    \
  SKF_API ULONG WINAPI name params {                 \
    hApplication = TranslateAppHandle(hApplication); \
    SKF_CALL_DRIVER(name, args);                     \
  }

// Connect and disconnect, and create, open and close of applications, keep the device and
// application records around their driver calls: they are written out in app_tracking.cpp.
#define SKF_FORWARD_TRACKING(name, params, args)

#define SKF_EXPORT(name, family, widths, params, args) SKF_FORWARD_##family(name, params, args)
#include "skf_export_table.h"
