// Test double of the system's IP helper library (IPHLPAPI.DLL): serves a TCP table that the test
// sets, and records how its entries were called. Built in four variants that differ in which of
// the two table entries they export:
//   old   AllocateAndGetTcpExTableFromStack only (24-byte rows)
//   new   InternalGetTcpTable2 only (28-byte rows)
//   both  both entries
//   none  neither entry
// Each variant lands in <bin>/iphlpapi-double/<variant>/IPHLPAPI.DLL. A test selects one with
// SetDllDirectoryA, loads it itself (keeping it loaded, so the state it sets survives the code
// under test loading and releasing the library) and checks the probe export: without the
// override iphlpapi=n,b Wine would silently hand out its own library instead.
#pragma once

#include <windows.h>

// One row of the table, in host byte order; the double lays it out in the system's format.
struct KovaTcpRow {
  DWORD state;
  DWORD localPort;  // only the low 16 bits go into the row, in network byte order
  DWORD owningPid;
};

// What the double saw.
struct KovaIphlpapiRecord {
  LONG oldEntryCalls;     // AllocateAndGetTcpExTableFromStack
  LONG table2EntryCalls;  // InternalGetTcpTable2
  BOOL order;             // bOrder of the last call
  HANDLE heap;            // heap of the last call
  DWORD flags;            // dwFlags of the last call of the older entry
  DWORD family;           // address family of the last call of the older entry
  void* lastBlock;        // table block handed out by the last successful call
  SIZE_T lastBlockSize;
};

// Exports of every variant, resolved by name by the tests.
#define KOVA_IPHLPAPI_DOUBLE_PROBE "KovaIphlpapiDoubleVariant"
using PfnKovaIphlpapiDoubleVariant = const char*(WINAPI*)();
// Replaces the table (count rows; count 0 gives an empty table).
using PfnKovaIphlpapiDoubleSetRows = void(WINAPI*)(const KovaTcpRow* rows, DWORD count);
// From now on every table entry returns `result` after SetLastError(lastError); result 0 restores
// success.
using PfnKovaIphlpapiDoubleSetFailure = void(WINAPI*)(DWORD result, DWORD lastError);
using PfnKovaIphlpapiDoubleGetRecord = void(WINAPI*)(KovaIphlpapiRecord* out);
// Extra bytes allocated after every table (KOVA_IPHLPAPI_DOUBLE_BLOCK_PADDING at load).
using PfnKovaIphlpapiDoubleSetBlockPadding = void(WINAPI*)(SIZE_T bytes);

// The default padding makes each table a block of its own in the heap, so that a test can tell
// reliably whether it was freed; a benchmark sets 0 to measure the lookup, not the double.
#define KOVA_IPHLPAPI_DOUBLE_BLOCK_PADDING (1024 * 1024)
