// The in-process mutex: re-entrant for its owner, exclusive against other threads, waits for a
// holder before it is destroyed; the scoped guard locks without limit and unlocks once.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "ns_mutex.h"

namespace {

struct LockerArgs {
  CNSMutex* mutex;
  HANDLE acquired;  // set once the thread owns the mutex
};

DWORD WINAPI LockThenSignal(LPVOID param) {
  auto* args = static_cast<LockerArgs*>(param);
  args->mutex->Lock(INFINITE);
  SetEvent(args->acquired);
  args->mutex->Unlock();
  return 0;
}

class Event {
 public:
  Event() : h_(CreateEventA(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr)) {}
  ~Event() { CloseHandle(h_); }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

class Thread {
 public:
  Thread(LPTHREAD_START_ROUTINE fn, void* arg)
      : h_(CreateThread(nullptr, 0, fn, arg, 0, nullptr)) {}
  ~Thread() {
    if (h_) {
      WaitForSingleObject(h_, 10000);
      CloseHandle(h_);
    }
  }
  bool Join(DWORD ms) { return WaitForSingleObject(h_, ms) == WAIT_OBJECT_0; }

 private:
  HANDLE h_;
};

TEST(CNSMutexInProcess, OwnerReentersAndOthersWaitUntilEveryLockIsUndone) {
  CNSMutexInProcess mutex;
  mutex.Lock(INFINITE);
  mutex.Lock(0);  // re-entrant, and a timeout of 0 still means "until owned"
  Event acquired;
  LockerArgs args{&mutex, acquired.get()};
  Thread other(LockThenSignal, &args);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(acquired.get(), 150));
  mutex.Unlock();
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(acquired.get(), 150))
      << "one Unlock of two Locks must keep the mutex owned";
  mutex.Unlock();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(acquired.get(), 5000));
  EXPECT_TRUE(other.Join(5000));
}

struct HolderArgs {
  CNSMutexInProcess* mutex;
  HANDLE holding;
  volatile LONG released;
};

DWORD WINAPI HoldForAWhile(LPVOID param) {
  auto* args = static_cast<HolderArgs*>(param);
  args->mutex->Lock(INFINITE);
  SetEvent(args->holding);
  Sleep(200);
  InterlockedExchange(&args->released, 1);
  args->mutex->Unlock();
  return 0;
}

TEST(CNSMutexInProcess, DestructionWaitsForTheThreadThatHoldsIt) {
  auto mutex = std::make_unique<CNSMutexInProcess>();
  Event holding;
  HolderArgs args{mutex.get(), holding.get(), 0};
  Thread holder(HoldForAWhile, &args);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holding.get(), 5000));
  mutex.reset();
  EXPECT_EQ(1, args.released) << "the mutex was destroyed while another thread held it";
  EXPECT_TRUE(holder.Join(5000));
}

// Records the calls it receives, in order.
class RecordingMutex : public CNSMutex {
 public:
  void Lock(DWORD timeout) override { calls += "Lock(" + std::to_string(timeout) + ")"; }
  void Unlock() override { calls += "Unlock"; }
  std::string calls;
};

TEST(CNSAutoLock, LocksWithoutLimitForItsScopeAndUnlocksOnce) {
  RecordingMutex mutex;
  {
    CNSAutoLock guard(&mutex);
    EXPECT_EQ("Lock(4294967295)", mutex.calls);
  }
  EXPECT_EQ("Lock(4294967295)Unlock", mutex.calls);
}

}  // namespace
