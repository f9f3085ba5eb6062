// In-process mutex classes guarding the shim's shared records, and a scoped guard for them.
#pragma once

#include <windows.h>

// Abstract mutex: Lock (slot 0) and Unlock (slot 1). It carries no data and has no virtual
// destructor; objects are never deleted through this type (the destructor is protected).
class CNSMutex {
 public:
  // timeout is in milliseconds, INFINITE (0xFFFFFFFF) waits without limit.
  virtual void Lock(DWORD timeout) = 0;
  virtual void Unlock() = 0;

 protected:
  CNSMutex() = default;
  ~CNSMutex() = default;
  CNSMutex(const CNSMutex&) = delete;
  CNSMutex& operator=(const CNSMutex&) = delete;
};

// A critical section of this process. Re-entrant for the owning thread; Lock always waits until
// it owns the section (the timeout is not used).
class CNSMutexInProcess final : public CNSMutex {
 public:
  CNSMutexInProcess();
  // Waits until no other thread holds the section, then deletes it.
  ~CNSMutexInProcess();
  void Lock(DWORD timeout) override;
  void Unlock() override;

 private:
  CRITICAL_SECTION m_cs;
};

// Holds a CNSMutex for the guard's scope; a null mutex makes it do nothing.
class CNSAutoLock {
 public:
  explicit CNSAutoLock(CNSMutex* mutex) : m_mutex(mutex) {
    if (m_mutex) m_mutex->Lock(INFINITE);
  }
  ~CNSAutoLock() {
    if (m_mutex) m_mutex->Unlock();
  }
  CNSAutoLock(const CNSAutoLock&) = delete;
  CNSAutoLock& operator=(const CNSAutoLock&) = delete;

 private:
  CNSMutex* m_mutex;
};
