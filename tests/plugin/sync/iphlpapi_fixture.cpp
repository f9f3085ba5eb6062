// Puts one variant of the IPHLPAPI.DLL double in place (see iphlpapi_fixture.h).
#include "iphlpapi_fixture.h"

#include "test_util.h"

namespace {

template <typename Fn>
Fn ProcAs(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

IphlpapiDouble::IphlpapiDouble(const char* variant) {
  const std::string dir = kova_test::ExeDir() + "iphlpapi-double\\" + variant;
  // The DLL search folder is borrowed only for this load (other doubles select their builds
  // through it too): once loaded, the module is found by its name.
  char previous[MAX_PATH] = {};
  const DWORD hadPrevious = GetDllDirectoryA(MAX_PATH, previous);
  if (!SetDllDirectoryA(dir.c_str())) {
    error_ = "SetDllDirectoryA(" + dir + ") failed";
    return;
  }
  module_ = LoadLibraryA("IPHLPAPI.DLL");
  SetDllDirectoryA(hadPrevious ? previous : nullptr);
  if (!module_) {
    error_ = "IPHLPAPI.DLL did not load from " + dir;
    return;
  }
  auto probe = ProcAs<PfnKovaIphlpapiDoubleVariant>(module_, KOVA_IPHLPAPI_DOUBLE_PROBE);
  if (!probe) {
    error_ = "the system's IPHLPAPI.DLL was loaded instead of the double (override iphlpapi=n,b?)";
    return;
  }
  if (std::string(probe()) != variant) {
    error_ = std::string("the double's variant is ") + probe() + ", not " + variant;
    return;
  }
  setRows_ = ProcAs<PfnKovaIphlpapiDoubleSetRows>(module_, "KovaIphlpapiDoubleSetRows");
  setFailure_ = ProcAs<PfnKovaIphlpapiDoubleSetFailure>(module_, "KovaIphlpapiDoubleSetFailure");
  getRecord_ = ProcAs<PfnKovaIphlpapiDoubleGetRecord>(module_, "KovaIphlpapiDoubleGetRecord");
  setPadding_ =
      ProcAs<PfnKovaIphlpapiDoubleSetBlockPadding>(module_, "KovaIphlpapiDoubleSetBlockPadding");
  if (!setRows_ || !setFailure_ || !getRecord_ || !setPadding_) {
    error_ = "the double lacks its test exports";
  }
}

IphlpapiDouble::~IphlpapiDouble() {
  if (module_) FreeLibrary(module_);
}

void IphlpapiDouble::SetRows(std::initializer_list<KovaTcpRow> rows) const {
  if (setRows_) setRows_(rows.begin(), static_cast<DWORD>(rows.size()));
}

void IphlpapiDouble::SetFailure(DWORD result, DWORD lastError) const {
  if (setFailure_) setFailure_(result, lastError);
}

void IphlpapiDouble::SetBlockPadding(SIZE_T bytes) const {
  if (setPadding_) setPadding_(bytes);
}

KovaIphlpapiRecord IphlpapiDouble::Record() const {
  KovaIphlpapiRecord r = {};
  if (getRecord_) getRecord_(&r);
  return r;
}

bool IsLiveProcessHeapBlock(const void* block) {
  HANDLE heap = GetProcessHeap();
  bool live = false;
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry = {};
  while (HeapWalk(heap, &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.lpData == block) {
      live = true;
      break;
    }
  }
  HeapUnlock(heap);
  return live;
}
