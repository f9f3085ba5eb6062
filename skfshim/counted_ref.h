// Counted reference to a shim record: a pointer to the record and a pointer to its separately
// allocated 32-bit count, changed with atomic increments and decrements. The last release
// destroys the record and frees the count.
#pragma once

#include <windows.h>

#include <utility>

#include "shim_heap.h"

namespace kova_shim {

// T is made with `new (std::nothrow)` (see KOVA_SHIM_HEAP_OBJECT) and destroyed with delete.
template <typename T>
class CountedRef {
 public:
  CountedRef() noexcept = default;

  // Takes ownership of `record` with a count of 1. When the count cannot be allocated (or the
  // record is null) the record is destroyed and the result is empty.
  static CountedRef Adopt(T* record) noexcept {
    CountedRef ref;
    if (!record) return ref;
    auto* count = static_cast<volatile LONG*>(HeapAllocate(sizeof(LONG)));
    if (!count) {
      delete record;
      return ref;
    }
    *count = 1;
    ref.m_ptr = record;
    ref.m_count = count;
    return ref;
  }

  CountedRef(const CountedRef& other) noexcept : m_ptr(other.m_ptr), m_count(other.m_count) {
    if (m_count) InterlockedIncrement(m_count);
  }
  CountedRef(CountedRef&& other) noexcept : m_ptr(other.m_ptr), m_count(other.m_count) {
    other.m_ptr = nullptr;
    other.m_count = nullptr;
  }
  CountedRef& operator=(CountedRef other) noexcept {
    std::swap(m_ptr, other.m_ptr);
    std::swap(m_count, other.m_count);
    return *this;
  }
  ~CountedRef() { Reset(); }

  // Releases this reference and leaves it empty.
  void Reset() noexcept {
    T* ptr = m_ptr;
    volatile LONG* count = m_count;
    m_ptr = nullptr;
    m_count = nullptr;
    if (count && InterlockedDecrement(count) == 0) {
      delete ptr;
      HeapRelease(const_cast<LONG*>(count));
    }
  }

  T* Get() const noexcept { return m_ptr; }
  T* operator->() const noexcept { return m_ptr; }
  explicit operator bool() const noexcept { return m_ptr != nullptr; }
  // Number of references sharing the record (0 when empty).
  LONG Count() const noexcept { return m_count ? *m_count : 0; }

 private:
  T* m_ptr = nullptr;
  volatile LONG* m_count = nullptr;
};

}  // namespace kova_shim
