// The manager's building blocks: counted references (atomic counts, the last release destroys),
// the ordered growable array, and the pointer index beside it (checked against std::set).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include "counted_ref.h"
#include "record_list.h"
#include "shim_heap.h"

namespace {

using kova_shim::CountedRef;
using kova_shim::FailAllocationForTest;
using kova_shim::LiveAllocationsForTest;
using kova_shim::PointerIndex;
using kova_shim::RecordArray;

// A record that tells when it is destroyed.
struct Probe {
  KOVA_SHIM_HEAP_OBJECT
  explicit Probe(int* destroyed) noexcept : destroyed_(destroyed) {}
  ~Probe() { ++*destroyed_; }
  int* destroyed_;
};

class HeapTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = LiveAllocationsForTest(); }
  void TearDown() override {
    FailAllocationForTest(0);
    EXPECT_EQ(live_, LiveAllocationsForTest()) << "heap blocks leaked";
  }
  long live_ = 0;
};

using CountedRefTest = HeapTest;

TEST_F(CountedRefTest, CopiesShareOneCountAndTheLastReleaseDestroys) {
  int destroyed = 0;
  auto first = CountedRef<Probe>::Adopt(new (std::nothrow) Probe(&destroyed));
  ASSERT_TRUE(first);
  EXPECT_EQ(1, first.Count());
  CountedRef<Probe> second = first;
  CountedRef<Probe> third;
  third = second;
  EXPECT_EQ(3, first.Count());
  EXPECT_EQ(first.Get(), third.Get());
  CountedRef<Probe> moved = std::move(second);
  EXPECT_FALSE(second);
  EXPECT_EQ(3, moved.Count());
  first.Reset();
  third.Reset();
  EXPECT_EQ(0, destroyed);
  EXPECT_EQ(1, moved.Count());
  moved.Reset();
  EXPECT_EQ(1, destroyed);
}

TEST_F(CountedRefTest, NoMemoryForTheCountDestroysTheRecordAndGivesAnEmptyReference) {
  int destroyed = 0;
  Probe* probe = new (std::nothrow) Probe(&destroyed);
  FailAllocationForTest(1);
  auto ref = CountedRef<Probe>::Adopt(probe);
  EXPECT_FALSE(ref);
  EXPECT_EQ(1, destroyed);
  EXPECT_FALSE(CountedRef<Probe>::Adopt(nullptr));
}

struct CopyLoopArgs {
  const CountedRef<Probe>* shared;
  HANDLE start;
};

DWORD WINAPI CopyAndReleaseManyTimes(LPVOID param) {
  auto* args = static_cast<CopyLoopArgs*>(param);
  WaitForSingleObject(args->start, INFINITE);
  for (int i = 0; i < 200000; ++i) {
    CountedRef<Probe> copy = *args->shared;
    CountedRef<Probe> another = copy;
  }
  return 0;
}

TEST_F(CountedRefTest, CountsStayExactUnderConcurrentCopies) {
  int destroyed = 0;
  auto shared = CountedRef<Probe>::Adopt(new (std::nothrow) Probe(&destroyed));
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CopyLoopArgs args{&shared, start};
  std::vector<HANDLE> threads;
  for (int i = 0; i < 8; ++i)
    threads.push_back(CreateThread(nullptr, 0, CopyAndReleaseManyTimes, &args, 0, nullptr));
  SetEvent(start);
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 60000);
  for (HANDLE t : threads) CloseHandle(t);
  CloseHandle(start);
  EXPECT_EQ(1, shared.Count());
  EXPECT_EQ(0, destroyed);
  shared.Reset();
  EXPECT_EQ(1, destroyed);
}

using RecordArrayTest = HeapTest;

std::vector<int> Contents(const RecordArray<int>& a) {
  std::vector<int> out;
  for (std::size_t i = 0; i < a.Size(); ++i) out.push_back(a[i]);
  return out;
}

TEST_F(RecordArrayTest, KeepsInsertionOrderThroughGrowthAndRemovals) {
  RecordArray<int> a;
  std::vector<int> expected;
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(a.PushBack(i));
    expected.push_back(i);
  }
  EXPECT_EQ(expected, Contents(a));
  a.EraseAt(0);
  a.EraseAt(10);  // was 11
  a.EraseAt(a.Size() - 1);
  expected = {};
  for (int i = 1; i < 39; ++i) {
    if (i != 11) expected.push_back(i);
  }
  EXPECT_EQ(expected, Contents(a));

  std::vector<int> seen;
  a.RemoveIf([&](int v) {
    seen.push_back(v);
    return v % 3 == 0;
  });
  EXPECT_EQ(expected, seen) << "RemoveIf must see every element once, front to back";
  std::vector<int> kept;
  for (int v : expected) {
    if (v % 3 != 0) kept.push_back(v);
  }
  EXPECT_EQ(kept, Contents(a));
}

TEST_F(RecordArrayTest, RemovedReferencesAreReleasedAndKeptOnesSurvive) {
  int destroyed = 0;
  std::vector<Probe*> probes;
  {
    RecordArray<CountedRef<Probe>> a;
    for (int i = 0; i < 10; ++i) {
      auto ref = CountedRef<Probe>::Adopt(new (std::nothrow) Probe(&destroyed));
      probes.push_back(ref.Get());
      ASSERT_TRUE(a.PushBack(ref));
    }
    int index = 0;
    a.RemoveIf([&](const CountedRef<Probe>&) { return index++ % 2 == 0; });
    EXPECT_EQ(5, destroyed);
    ASSERT_EQ(5u, a.Size());
    for (std::size_t i = 0; i < a.Size(); ++i) {
      EXPECT_EQ(probes[2 * i + 1], a[i].Get());
      EXPECT_EQ(1, a[i].Count());
    }
    a.EraseAt(2);
    EXPECT_EQ(6, destroyed);
  }
  EXPECT_EQ(10, destroyed);
}

TEST_F(RecordArrayTest, GrowthWithoutMemoryFailsAndKeepsTheContents) {
  RecordArray<int> a;
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(a.PushBack(i));
  FailAllocationForTest(1);
  EXPECT_FALSE(a.PushBack(8));
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}), Contents(a));
  EXPECT_TRUE(a.PushBack(8));
  EXPECT_EQ(9u, a.Size());
}

using PointerIndexTest = HeapTest;

const void* Key(std::uintptr_t n) { return reinterpret_cast<const void*>(n); }

TEST_F(PointerIndexTest, AgreesWithASetThroughRandomInsertsAndErases) {
  // Keys of a small pool, 16 bytes apart like heap blocks, so that they collide, wrap around
  // the table and come back after being erased.
  PointerIndex index;
  std::set<std::uintptr_t> model;
  std::mt19937 rng(12345);
  const std::uintptr_t base = 0x7f0000000000ull;
  for (int step = 0; step < 60000; ++step) {
    const std::uintptr_t k = base + 16 * (rng() % 3000);
    if (rng() % 3 != 0) {
      if (!model.count(k)) {
        ASSERT_TRUE(index.ReserveOneMore());
        index.Insert(Key(k));
        model.insert(k);
      }
    } else {
      index.Erase(Key(k));
      model.erase(k);
    }
    if (step % 5000 == 0) {
      for (std::uintptr_t n = 0; n < 3000; ++n) {
        ASSERT_EQ(model.count(base + 16 * n) != 0, index.Contains(Key(base + 16 * n)))
            << "step " << step << " key " << n;
      }
    }
  }
  ASSERT_EQ(model.size(), index.Size());
  for (std::uintptr_t n = 0; n < 3000; ++n) {
    ASSERT_EQ(model.count(base + 16 * n) != 0, index.Contains(Key(base + 16 * n)));
  }
  EXPECT_FALSE(index.Contains(nullptr));
  index.Erase(Key(base + 8));  // absent: nothing changes
  EXPECT_EQ(model.size(), index.Size());
}

TEST_F(PointerIndexTest, GrowthWithoutMemoryFailsAndKeepsTheKeys) {
  PointerIndex index;
  for (std::uintptr_t n = 1; n <= 8; ++n) {
    ASSERT_TRUE(index.ReserveOneMore());
    index.Insert(Key(n * 32));
  }
  FailAllocationForTest(1);
  EXPECT_FALSE(index.ReserveOneMore());
  for (std::uintptr_t n = 1; n <= 8; ++n) EXPECT_TRUE(index.Contains(Key(n * 32)));
  EXPECT_TRUE(index.ReserveOneMore());
}

}  // namespace
