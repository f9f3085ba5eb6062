// Test double of IPHLPAPI.DLL (see iphlpapi_double.h). KOVA_IPHLPAPI_VARIANT names the variant;
// KOVA_IPHLPAPI_OLD and KOVA_IPHLPAPI_TABLE2 select the table entries it exports.
#include "iphlpapi_double.h"

#include <cstring>
#include <vector>

#define DOUBLE_EXPORT extern "C" __declspec(dllexport)

namespace {

CRITICAL_SECTION g_cs;
std::vector<KovaTcpRow> g_rows;
DWORD g_failResult = 0;
DWORD g_failLastError = 0;
KovaIphlpapiRecord g_record;
SIZE_T g_padding = KOVA_IPHLPAPI_DOUBLE_BLOCK_PADDING;

// Fixed filler for the fields a lookup must not read (addresses, remote port, high bytes of the
// local port field, offload state), so that a reader of the wrong bytes sees a wrong value.
const unsigned char kFiller = 0xA5;

struct Lock {
  Lock() { EnterCriticalSection(&g_cs); }
  ~Lock() { LeaveCriticalSection(&g_cs); }
};

[[maybe_unused]] DWORD ServeTable(void** ppTable, HANDLE heap, size_t rowSize) {
  if (g_failResult != 0) {
    SetLastError(g_failLastError);
    return g_failResult;
  }
  const size_t size = 4 + rowSize * g_rows.size();
  const SIZE_T blockSize = size + g_padding;
  unsigned char* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, blockSize));
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  std::memset(block, kFiller, blockSize);
  const DWORD count = static_cast<DWORD>(g_rows.size());
  std::memcpy(block, &count, 4);
  for (size_t i = 0; i < g_rows.size(); ++i) {
    unsigned char* row = block + 4 + rowSize * i;
    std::memcpy(row, &g_rows[i].state, 4);
    row[8] = static_cast<unsigned char>(g_rows[i].localPort >> 8);
    row[9] = static_cast<unsigned char>(g_rows[i].localPort);
    std::memcpy(row + 20, &g_rows[i].owningPid, 4);
  }
  *ppTable = block;
  g_record.lastBlock = block;
  g_record.lastBlockSize = blockSize;
  return 0;
}

}  // namespace

DOUBLE_EXPORT const char* WINAPI KovaIphlpapiDoubleVariant() { return KOVA_IPHLPAPI_VARIANT; }

DOUBLE_EXPORT void WINAPI KovaIphlpapiDoubleSetRows(const KovaTcpRow* rows, DWORD count) {
  Lock lock;
  g_rows.assign(rows, rows + count);
}

DOUBLE_EXPORT void WINAPI KovaIphlpapiDoubleSetFailure(DWORD result, DWORD lastError) {
  Lock lock;
  g_failResult = result;
  g_failLastError = lastError;
}

DOUBLE_EXPORT void WINAPI KovaIphlpapiDoubleSetBlockPadding(SIZE_T bytes) {
  Lock lock;
  g_padding = bytes;
}

DOUBLE_EXPORT void WINAPI KovaIphlpapiDoubleGetRecord(KovaIphlpapiRecord* out) {
  Lock lock;
  *out = g_record;
}

#ifdef KOVA_IPHLPAPI_OLD
DOUBLE_EXPORT DWORD WINAPI AllocateAndGetTcpExTableFromStack(void** ppTable, BOOL bOrder,
                                                            HANDLE hHeap, DWORD dwFlags,
                                                            DWORD dwFamily) {
  Lock lock;
  ++g_record.oldEntryCalls;
  g_record.order = bOrder;
  g_record.heap = hHeap;
  g_record.flags = dwFlags;
  g_record.family = dwFamily;
  return ServeTable(ppTable, hHeap, 24);
}
#endif

#ifdef KOVA_IPHLPAPI_TABLE2
DOUBLE_EXPORT DWORD WINAPI InternalGetTcpTable2(void** ppTable, HANDLE hHeap, BOOL bOrder) {
  Lock lock;
  ++g_record.table2EntryCalls;
  g_record.order = bOrder;
  g_record.heap = hHeap;
  return ServeTable(ppTable, hHeap, 28);
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_cs);
  return TRUE;
}
