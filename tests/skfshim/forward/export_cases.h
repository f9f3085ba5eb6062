// The shim's exports as test cases, expanded from the export table: for each export, calls
// with a distinct sentinel value per argument (or with pointers that must not be touched) and
// the check that a fake driver's record holds exactly the sentinels.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <sstream>
#include <tuple>
#include <type_traits>
#include <utility>

#include "fake_skf_api.h"
#include "skf_entries.h"

namespace shim_test {

// A value no other argument of any export shares: pointer-sized ones use all 64 bits, 32-bit
// ones the top bit, structures a byte pattern of their own.
template <class T>
T Sentinel(unsigned entry, unsigned arg) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(
        static_cast<ULONG_PTR>(0xA500000000000000ull | (entry << 16) | (arg << 8) | 0x3Cu));
  } else if constexpr (std::is_same_v<T, BLOCKCIPHERPARAM>) {
    BLOCKCIPHERPARAM param;
    auto* bytes = reinterpret_cast<BYTE*>(&param);
    for (unsigned i = 0; i < sizeof param; ++i)
      bytes[i] = static_cast<BYTE>(entry * 7 + arg * 13 + i * 31 + 1);
    return param;
  } else {
    static_assert(std::is_integral_v<T> && sizeof(T) == 4, "32-bit integer argument");
    return static_cast<T>(0x80000000u | (entry << 16) | (arg << 8) | 0xC3u);
  }
}

// Whether one recorded argument is exactly the value passed, at its own width.
inline testing::AssertionResult SameArg(const FakeSkfArg& got, const BLOCKCIPHERPARAM& want) {
  if (got.size == sizeof want && std::memcmp(got.bytes, &want, sizeof want) == 0) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure()
         << "BLOCKCIPHERPARAM differs (recorded size " << got.size << ")";
}
template <class T>
testing::AssertionResult SameArg(const FakeSkfArg& got, T want) {
  ULONGLONG expected;
  if constexpr (std::is_pointer_v<T>) {
    expected = reinterpret_cast<ULONG_PTR>(want);
  } else {
    expected = static_cast<ULONG>(want);
  }
  if (got.size == sizeof(T) && got.value == expected) return testing::AssertionSuccess();
  std::ostringstream text;
  text << std::hex << "expected 0x" << expected << " (" << std::dec << sizeof(T)
       << " bytes), got 0x" << std::hex << got.value << " (" << std::dec << got.size << " bytes)";
  return testing::AssertionFailure() << text.str();
}

// The result a fake driver is told to give for an entry: distinct per entry, all 32 bits used.
inline ULONG DistinctResult(unsigned entry) { return 0x80000000u | (entry << 8) | 0x5Au; }

template <class Fn>
struct ExportCaller;

template <class... A>
struct ExportCaller<ULONG(WINAPI*)(A...)> {
  using Fn = ULONG(WINAPI*)(A...);
  using Args = std::tuple<A...>;

  static Args Sentinels(unsigned entry) {
    return MakeSentinels(entry, std::index_sequence_for<A...>{});
  }

  static ULONG CallWithSentinels(void* function, unsigned entry) {
    return std::apply(reinterpret_cast<Fn>(function), Sentinels(entry));
  }

  // Pointer arguments point into noAccess (memory that faults on any access), one address
  // each; the other arguments are sentinels.
  static ULONG CallWithUntouchablePointers(void* function, unsigned entry, BYTE* noAccess) {
    return std::apply(reinterpret_cast<Fn>(function),
                      Untouchable(entry, noAccess, std::index_sequence_for<A...>{}));
  }

  static testing::AssertionResult MatchesSentinels(const FakeSkfCall& call, unsigned entry) {
    if (call.argCount != sizeof...(A)) {
      return testing::AssertionFailure()
             << "driver received " << call.argCount << " arguments, not " << sizeof...(A);
    }
    return Match(call, Sentinels(entry), std::index_sequence_for<A...>{});
  }

 private:
  template <size_t... I>
  static Args MakeSentinels([[maybe_unused]] unsigned entry, std::index_sequence<I...>) {
    return Args(Sentinel<A>(entry, I)...);
  }

  template <class T>
  static T UntouchableArg(unsigned entry, unsigned arg, BYTE* noAccess) {
    if constexpr (std::is_pointer_v<T>) {
      return reinterpret_cast<T>(noAccess + 64 * arg + 8);
    } else {
      return Sentinel<T>(entry, arg);
    }
  }
  template <size_t... I>
  static Args Untouchable([[maybe_unused]] unsigned entry, [[maybe_unused]] BYTE* noAccess,
                          std::index_sequence<I...>) {
    return Args(UntouchableArg<A>(entry, I, noAccess)...);
  }

  template <size_t... I>
  static testing::AssertionResult Match(const FakeSkfCall& call, const Args& want,
                                        std::index_sequence<I...>) {
    testing::AssertionResult result = testing::AssertionSuccess();
    [[maybe_unused]] const auto one = [&](size_t index, testing::AssertionResult same) {
      if (!same && result)
        result = testing::AssertionFailure() << "argument " << index + 1 << ": " << same.message();
    };
    (one(I, SameArg(call.args[I], std::get<I>(want))), ...);
    return result;
  }
};

struct ExportCase {
  const char* name;
  skf::EntryIndex entry;
  const char* widths;
  ULONG (*callWithSentinels)(void* function, unsigned entry);
  ULONG (*callWithUntouchablePointers)(void* function, unsigned entry, BYTE* noAccess);
  testing::AssertionResult (*matchesSentinels)(const FakeSkfCall& call, unsigned entry);
};

inline const ExportCase kExportCases[] = {
#define SKF_EXPORT(name, family, widths, params, args)          \
  {#name,                                                       \
   skf::ENTRY_##name,                                           \
   widths,                                                      \
   &ExportCaller<skf::PFN_##name>::CallWithSentinels,           \
   &ExportCaller<skf::PFN_##name>::CallWithUntouchablePointers, \
   &ExportCaller<skf::PFN_##name>::MatchesSentinels},
#include "skf_export_table.h"
};

// A reserved range that faults on every read or write (64 bytes per argument).
class NoAccessMemory {
 public:
  NoAccessMemory()
      : base_(static_cast<BYTE*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS))) {}
  ~NoAccessMemory() {
    if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
  }
  NoAccessMemory(const NoAccessMemory&) = delete;
  NoAccessMemory& operator=(const NoAccessMemory&) = delete;
  BYTE* get() const { return base_; }

 private:
  BYTE* base_;
};

}  // namespace shim_test
