// Scope guards for a slim reader/writer lock: exclusive for writers, shared for readers. An
// SRWLOCK needs no set-up beyond SRWLOCK_INIT, so a lock at namespace scope is usable at once.
#pragma once

#include <windows.h>

class CSrwExclusive {
 public:
  explicit CSrwExclusive(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
  ~CSrwExclusive() { ReleaseSRWLockExclusive(&m_lock); }
  CSrwExclusive(const CSrwExclusive&) = delete;
  CSrwExclusive& operator=(const CSrwExclusive&) = delete;

 private:
  SRWLOCK& m_lock;
};

class CSrwShared {
 public:
  explicit CSrwShared(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockShared(&m_lock); }
  ~CSrwShared() { ReleaseSRWLockShared(&m_lock); }
  CSrwShared(const CSrwShared&) = delete;
  CSrwShared& operator=(const CSrwShared&) = delete;

 private:
  SRWLOCK& m_lock;
};
