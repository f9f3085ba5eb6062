// Containers of the handle manager: a growable array that keeps insertion order, and a pointer
// index beside it for constant-time membership tests. Neither throws: growth that cannot get
// memory reports false and leaves the contents as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "shim_heap.h"

namespace kova_shim {

// Growable array in insertion order. T must be movable without throwing.
template <typename T>
class RecordArray {
 public:
  RecordArray() noexcept = default;
  ~RecordArray() {
    Truncate(0);
    HeapRelease(m_data);
  }
  RecordArray(const RecordArray&) = delete;
  RecordArray& operator=(const RecordArray&) = delete;

  std::size_t Size() const noexcept { return m_size; }
  T& operator[](std::size_t i) noexcept { return m_data[i]; }
  const T& operator[](std::size_t i) const noexcept { return m_data[i]; }

  // Makes room for one more element; true when the next PushBack cannot fail.
  bool ReserveOneMore() noexcept {
    if (m_size < m_capacity) return true;
    const std::size_t capacity = m_capacity ? m_capacity * 2 : 8;
    T* data = static_cast<T*>(HeapAllocate(capacity * sizeof(T)));
    if (!data) return false;
    for (std::size_t i = 0; i < m_size; ++i) {
      new (&data[i]) T(std::move(m_data[i]));
      m_data[i].~T();
    }
    HeapRelease(m_data);
    m_data = data;
    m_capacity = capacity;
    return true;
  }

  // Appends at the end; false (nothing appended) when no room can be had.
  bool PushBack(T value) noexcept {
    if (!ReserveOneMore()) return false;
    new (&m_data[m_size]) T(std::move(value));
    ++m_size;
    return true;
  }

  // Removes element i; later elements move down one place.
  void EraseAt(std::size_t i) noexcept {
    for (std::size_t j = i; j + 1 < m_size; ++j) m_data[j] = std::move(m_data[j + 1]);
    Truncate(m_size - 1);
  }

  // Walks the array from the front and removes every element for which `remove(element)` is
  // true, keeping the order of the rest. `remove` sees each element once, before it is moved.
  template <typename Pred>
  void RemoveIf(Pred remove) noexcept {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_size; ++i) {
      if (remove(m_data[i])) continue;
      if (kept != i) m_data[kept] = std::move(m_data[i]);
      ++kept;
    }
    Truncate(kept);
  }

 private:
  void Truncate(std::size_t size) noexcept {
    while (m_size > size) m_data[--m_size].~T();
  }

  T* m_data = nullptr;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
};

// Set of non-null pointer values: open addressing with linear probing, at most half full.
class PointerIndex {
 public:
  PointerIndex() noexcept = default;
  ~PointerIndex() { HeapRelease(m_slots); }
  PointerIndex(const PointerIndex&) = delete;
  PointerIndex& operator=(const PointerIndex&) = delete;

  std::size_t Size() const noexcept { return m_count; }

  bool Contains(const void* key) const noexcept {
    if (!m_slots || !key) return false;
    for (std::size_t i = Home(key);; i = (i + 1) & m_mask) {
      if (m_slots[i] == key) return true;
      if (!m_slots[i]) return false;
    }
  }

  // Makes room for one more key; true when the next Insert cannot fail.
  bool ReserveOneMore() noexcept {
    const std::size_t capacity = m_slots ? m_mask + 1 : 0;
    if ((m_count + 1) * 2 <= capacity) return true;
    const std::size_t grown = capacity ? capacity * 2 : 16;
    auto** slots = static_cast<const void**>(HeapAllocate(grown * sizeof(const void*)));
    if (!slots) return false;
    for (std::size_t i = 0; i < grown; ++i) slots[i] = nullptr;
    const void** old = m_slots;
    m_slots = slots;
    m_mask = grown - 1;
    for (std::size_t i = 0; i < capacity; ++i) {
      if (old[i]) Place(old[i]);
    }
    HeapRelease(old);
    return true;
  }

  // Adds a non-null key that is not present yet, after a successful ReserveOneMore.
  void Insert(const void* key) noexcept {
    Place(key);
    ++m_count;
  }

  void Erase(const void* key) noexcept {
    if (!m_slots || !key) return;
    std::size_t hole = Home(key);
    while (m_slots[hole] != key) {
      if (!m_slots[hole]) return;
      hole = (hole + 1) & m_mask;
    }
    // Backward-shift deletion: move up every later key of the run whose home slot does not lie
    // cyclically between the hole and its own slot, so that no probe sequence is broken.
    for (std::size_t j = (hole + 1) & m_mask; m_slots[j]; j = (j + 1) & m_mask) {
      const std::size_t home = Home(m_slots[j]);
      const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
      if (stays) continue;
      m_slots[hole] = m_slots[j];
      hole = j;
    }
    m_slots[hole] = nullptr;
    --m_count;
  }

 private:
  std::size_t Home(const void* key) const noexcept {
    std::uint64_t h = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key));
    h *= 0x9E3779B97F4A7C15ull;
    h ^= h >> 32;
    return static_cast<std::size_t>(h) & m_mask;
  }
  void Place(const void* key) noexcept {
    std::size_t i = Home(key);
    while (m_slots[i]) i = (i + 1) & m_mask;
    m_slots[i] = key;
  }

  const void** m_slots = nullptr;
  std::size_t m_mask = 0;
  std::size_t m_count = 0;
};

}  // namespace kova_shim
