// Compile-time facts expanded from the export table: one entry index per export, the pointer
// type of each driver function, the entry names, and the check that every row's parameter
// types have the argument widths the row states.
#pragma once

#include <windows.h>

#include <type_traits>

#include "skf_types.h"

namespace skf {

// One driver entry per export, in table order.
enum EntryIndex : unsigned {
#define SKF_EXPORT(name, family, widths, params, args) ENTRY_##name,
#include "skf_export_table.h"
  ENTRY_COUNT
};
static_assert(ENTRY_COUNT == 83, "the shim exports exactly 83 functions");

// Pointer type of each driver function: the export's own argument list and a 32-bit result.
#define SKF_EXPORT(name, family, widths, params, args) typedef ULONG(WINAPI* PFN_##name) params;
#include "skf_export_table.h"

// The procedure name each entry binds, which is the export's own name.
inline constexpr const char* kEntryNames[ENTRY_COUNT] = {
#define SKF_EXPORT(name, family, widths, params, args) #name,
#include "skf_export_table.h"
};

// Width letter of one parameter type: P pointer-sized, U 32-bit integer, S BLOCKCIPHERPARAM by
// value, '?' for anything else (which fails the check below).
template <class T>
constexpr char WidthLetter() {
  if constexpr (std::is_pointer_v<T> && sizeof(T) == 8) {
    return 'P';
  } else if constexpr (std::is_integral_v<T> && sizeof(T) == 4) {
    return 'U';
  } else if constexpr (std::is_same_v<T, BLOCKCIPHERPARAM>) {
    return 'S';
  } else {
    return '?';
  }
}

template <class Fn>
struct Widths;
template <class... A>
struct Widths<ULONG(WINAPI*)(A...)> {
  static constexpr char text[] = {WidthLetter<A>()..., '\0'};
};

constexpr bool SameText(const char* a, const char* b) {
  for (; *a != '\0' || *b != '\0'; ++a, ++b) {
    if (*a != *b) return false;
  }
  return true;
}

#define SKF_EXPORT(name, family, widths, params, args)      \
  static_assert(SameText(Widths<PFN_##name>::text, widths), \
                #name ": parameter types do not have the widths " widths);
#include "skf_export_table.h"

}  // namespace skf
