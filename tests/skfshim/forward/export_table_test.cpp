// The export table itself: every row's argument list names its parameters in declaration
// order. The exports and the fake driver both pass "arguments" on, so two names swapped in one
// row would cancel out between them and no call through the DLLs could show it.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <tuple>

#include "export_cases.h"

namespace shim_test {
namespace {

// For every row, a function with the row's parameters that returns its argument list.
#define SKF_EXPORT(name, family, widths, params, args) \
  auto ArgsOf_##name params { return std::make_tuple args; }
#include "skf_export_table.h"

bool SameValue(const BLOCKCIPHERPARAM& a, const BLOCKCIPHERPARAM& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
template <class T>
bool SameValue(T a, T b) {
  return a == b;
}

template <class Tuple, size_t... I>
testing::AssertionResult SameTuple(const Tuple& got, const Tuple& want, std::index_sequence<I...>) {
  testing::AssertionResult result = testing::AssertionSuccess();
  [[maybe_unused]] const auto one = [&](size_t index, bool same) {
    if (!same && result)
      result = testing::AssertionFailure()
               << "argument " << index + 1 << " is not parameter " << index + 1;
  };
  (one(I, SameValue(std::get<I>(got), std::get<I>(want))), ...);
  return result;
}

template <class Fn, class ArgsOf>
testing::AssertionResult CheckRow(ArgsOf argsOf) {
  using Args = typename ExportCaller<Fn>::Args;
  const Args want = ExportCaller<Fn>::Sentinels(0);
  const auto got = std::apply(argsOf, want);
  static_assert(std::is_same_v<std::decay_t<decltype(got)>, Args>,
                "the argument list has the parameters' count and types");
  return SameTuple(got, want, std::make_index_sequence<std::tuple_size_v<Args>>{});
}

struct RowCheck {
  const char* name;
  testing::AssertionResult (*check)();
};

const RowCheck kRows[] = {
#define SKF_EXPORT(name, family, widths, params, args) \
  {#name, [] { return CheckRow<skf::PFN_##name>(&ArgsOf_##name); }},
#include "skf_export_table.h"
};

TEST(ShimExportTable, EveryArgumentListNamesTheParametersInOrder) {
  ASSERT_EQ(83u, std::size(kRows));
  for (const RowCheck& row : kRows) {
    EXPECT_TRUE(row.check()) << row.name;
  }
}

}  // namespace
}  // namespace shim_test
