// The critical-section mutex of the shim.
#include "ns_mutex.h"

CNSMutexInProcess::CNSMutexInProcess() { InitializeCriticalSection(&m_cs); }

CNSMutexInProcess::~CNSMutexInProcess() {
  // Entering once makes deletion wait for a thread that still holds the section.
  EnterCriticalSection(&m_cs);
  LeaveCriticalSection(&m_cs);
  DeleteCriticalSection(&m_cs);
}

void CNSMutexInProcess::Lock(DWORD /*timeout*/) { EnterCriticalSection(&m_cs); }

void CNSMutexInProcess::Unlock() { LeaveCriticalSection(&m_cs); }
