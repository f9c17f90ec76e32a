#pragma once

#include <cstddef>

// A growable array of owned wide string copies. The copies and the array come from the COM task
// allocator; an empty or null source is kept as a null element.
class CWideStringList {
 public:
  CWideStringList() = default;
  ~CWideStringList() { Clear(); }
  CWideStringList(const CWideStringList&) = delete;
  CWideStringList& operator=(const CWideStringList&) = delete;

  // Appends a copy; false (and nothing added) when memory runs out.
  bool Add(const wchar_t* text);

  // The element at index, or null outside 0..Count()-1.
  const wchar_t* Get(size_t index) const;

  size_t Count() const { return count_; }
  size_t Capacity() const { return capacity_; }

  // Drops the elements from index count on; a larger count changes nothing.
  void Shrink(size_t count);

  // Frees every copy and the array.
  void Clear();

  // Capacity after growing a full list of the given capacity.
  static size_t GrownCapacity(size_t capacity);

 private:
  wchar_t** items_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
};
