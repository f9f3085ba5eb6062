// The exports: each one forwards to the driver function of its own name (SKF_CALL_DRIVER).
// The row's family says what an export does around the call.
#include "skf_exports.h"

#include "skf_driver_calls.h"

// Forwards the call unchanged and returns the driver's result.
#define SKF_FORWARD_PLAIN(name, params, args) \
  SKF_API ULONG WINAPI name params { SKF_CALL_DRIVER(name, args); }

// Exports whose first argument is an application handle, and the exports that connect and
// disconnect devices and create, open and close applications, forward in the same way; their
// handle translation and record keeping attach here.
#define SKF_FORWARD_APPHANDLE(name, params, args) SKF_FORWARD_PLAIN(name, params, args)
#define SKF_FORWARD_TRACKING(name, params, args) SKF_FORWARD_PLAIN(name, params, args)

#define SKF_EXPORT(name, family, widths, params, args) SKF_FORWARD_##family(name, params, args)
#include "skf_export_table.h"
