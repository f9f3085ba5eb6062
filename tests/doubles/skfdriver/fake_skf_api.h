// The control interface of the fake SKF driver: what it records of every call and the
// FakeSkf_* exports through which a test configures it and reads the records. Shared by the
// fake driver and the test programs that load it.
#pragma once

#include <windows.h>

// One argument as the driver function received it.
struct FakeSkfArg {
  ULONGLONG value;  // pointer-sized values whole, 32-bit integers zero-extended; for a
                    // structure by value, the address of the copy the driver received
  ULONG size;       // 8 pointer-sized, 4 32-bit integer, 44 BLOCKCIPHERPARAM by value
  BYTE bytes[44];   // the structure's bytes when size is 44
};

constexpr ULONG kFakeSkfMaxArgs = 10;

// One call of an SKF function of the fake driver.
struct FakeSkfCall {
  ULONG sequence;  // 0 for the first call recorded since the last reset
  ULONG entry;     // skf::EntryIndex of the function called
  ULONG argCount;
  DWORD threadId;
  FakeSkfArg args[kFakeSkfMaxArgs];
};

// Control exports of the fake driver.
// Forgets every record and answers SAR_OK from every function again; recording on.
typedef void(WINAPI* PFN_FakeSkf_Reset)();
// Result the named SKF function answers from now on (null name: every function). FALSE for a
// name the fake driver does not know.
typedef BOOL(WINAPI* PFN_FakeSkf_SetResult)(LPCSTR name, ULONG result);
// Recording on or off (off: a call only answers its result, as cheaply as possible).
typedef void(WINAPI* PFN_FakeSkf_SetRecording)(BOOL on);
// Number of calls recorded since the last reset.
typedef ULONG(WINAPI* PFN_FakeSkf_CallCount)();
// Copies record number index; FALSE when there is none.
typedef BOOL(WINAPI* PFN_FakeSkf_GetCall)(ULONG index, FakeSkfCall* call);

// Devices and applications. SKF_ConnectDev hands out a new device handle on every success, and
// SKF_OpenApplication and SKF_CreateApplication a new application handle (distinct from every
// handle before, resets included). SKF_GetDevInfo fills the naturally aligned 296-byte DEVINFO
// (zeros but for the chosen serial number at byte 162) when it answers SAR_OK.
// Serial number SKF_GetDevInfo reports from now on: up to 32 bytes, zero-padded ("" after a
// reset).
typedef void(WINAPI* PFN_FakeSkf_SetSerialNumber)(LPCSTR serial);
// What became of the application handles since the last reset.
struct FakeSkfAppStats {
  ULONG issued;          // application handles handed out
  ULONG closes;          // SKF_CloseApplication calls with a handle the driver handed out
  ULONG repeatedCloses;  // of those, calls for a handle that was already closed
  ULONG foreignCloses;   // SKF_CloseApplication calls with any other value
  ULONG usesAfterClose;  // application-handle calls with a handle that was already closed
  ULONG foreignUses;     // application-handle calls with a value the driver never handed out
  ULONGLONG lastIssued;  // the handle handed out last (0 when none since the reset)
};
typedef void(WINAPI* PFN_FakeSkf_GetAppStats)(FakeSkfAppStats* stats);
// SKF_CloseApplication calls since the last reset for one handle the driver handed out;
// 0xFFFFFFFF for any other value.
typedef ULONG(WINAPI* PFN_FakeSkf_AppHandleCloses)(HANDLE app);
// Milliseconds SKF_CloseApplication waits, after it has counted the close and before it answers
// (0 after a reset): widens the window in which a close is in progress.
typedef void(WINAPI* PFN_FakeSkf_SetCloseDelay)(ULONG milliseconds);

// When this environment variable names a file as the fake driver is loaded, the driver
// appends a line to it for its load ("load"), each SKF call ("call <name>") and its unload
// ("unload"), so that a test sees them even after the driver has left the process.
#define FAKE_SKF_EVENTS_VARIABLE "KOVA_FAKE_SKF_EVENTS"
