// ProcLock: keeps a machine-wide named mutex (Global\<name>) in existence for as long as the
// object lives. It opens the mutex when another process already made it, or creates it open to
// every account and to low-integrity processes. Nothing ever waits on the mutex or owns it.
#pragma once

#include <windows.h>

#include <string>

class ProcLock {
 public:
  explicit ProcLock(std::string name) noexcept;
  ~ProcLock();
  ProcLock(const ProcLock&) = delete;
  ProcLock& operator=(const ProcLock&) = delete;

 private:
  HANDLE m_hMutex;  // null when the mutex could be neither opened nor created
};
