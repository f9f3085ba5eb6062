// The plain-C contract between the Nolvex.dll double and the test program that scripts it. The
// double holds no state of its own: on load it finds the program's hooks (an export of the main
// module) and forwards every entry to them, so that scripts and records survive the library
// being released and loaded again.
#pragma once

extern "C" {

enum NolvexDoubleEntry {
  kNolvexDoCommand = 0,
  kNolvexSyncSocketState = 1,
  kNolvexSyncRegisterInfo = 2,
};

struct NolvexDoubleHooks {
  void (*attached)();  // the double was loaded (DLL_PROCESS_ATTACH)
  void (*detached)();  // the double is being unloaded (DLL_PROCESS_DETACH)
  void (*enter)();     // a thread entered one of the double's entries
  void (*leave)();     // ... and is about to return from it
  // Each returns the entry's result and sets *answer (null, or a buffer that free_data takes
  // back) and *raise (non-zero: the entry throws a C++ exception instead of returning).
  int (*do_command)(int pid, const char* path, const char* request, char** answer, int* raise);
  int (*sync)(int entry, const char* url, const char* body, int body_length, char** answer,
              int* raise);
  void (*free_data)(char* data);
};

typedef NolvexDoubleHooks* (*NolvexDoubleHooksGetter)();

}  // extern "C"

// Name of the main module's export that returns the hooks.
#define KOVA_NOLVEX_DOUBLE_HOOKS "kova_nolvex_double_hooks"
