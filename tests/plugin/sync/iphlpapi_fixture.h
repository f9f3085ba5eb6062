// Puts one variant of the IPHLPAPI.DLL double in place for a test: loads it from its folder
// (through SetDllDirectoryA, restored at once) and holds it, so that the code under test's loads
// of "IPHLPAPI.DLL" find this module by its name and the rows set here survive their releases;
// checks its probe.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "iphlpapi_double.h"

class IphlpapiDouble {
 public:
  explicit IphlpapiDouble(const char* variant);
  ~IphlpapiDouble();
  IphlpapiDouble(const IphlpapiDouble&) = delete;
  IphlpapiDouble& operator=(const IphlpapiDouble&) = delete;

  // Empty when the double is in place; otherwise what went wrong.
  const std::string& error() const { return error_; }

  void SetRows(std::initializer_list<KovaTcpRow> rows) const;
  void SetFailure(DWORD result, DWORD lastError) const;
  void SetBlockPadding(SIZE_T bytes) const;
  KovaIphlpapiRecord Record() const;

 private:
  HMODULE module_ = nullptr;
  std::string error_;
  PfnKovaIphlpapiDoubleSetRows setRows_ = nullptr;
  PfnKovaIphlpapiDoubleSetFailure setFailure_ = nullptr;
  PfnKovaIphlpapiDoubleGetRecord getRecord_ = nullptr;
  PfnKovaIphlpapiDoubleSetBlockPadding setPadding_ = nullptr;
};

// States of TCP rows (the values the system uses).
const DWORD kTcpListen = 2;
const DWORD kTcpEstablished = 5;
const DWORD kTcpTimeWait = 11;

// True while `block` is an allocated block of the process heap.
bool IsLiveProcessHeapBlock(const void* block);
