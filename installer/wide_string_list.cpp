#include "installer/wide_string_list.h"

#include <windows.h>

#include <objbase.h>

#include <cstring>
#include <cwchar>

size_t CWideStringList::GrownCapacity(size_t capacity) {
  // Small lists grow in small steps; big ones by a quarter, so appends stay amortised.
  if (capacity <= 8) return capacity + 4;
  if (capacity <= 64) return capacity + 16;
  return capacity + capacity / 4;
}

bool CWideStringList::Add(const wchar_t* text) {
  if (count_ == capacity_) {
    const size_t capacity = GrownCapacity(capacity_);
    void* grown = ::CoTaskMemRealloc(items_, capacity * sizeof(wchar_t*));
    if (grown == nullptr) return false;
    items_ = static_cast<wchar_t**>(grown);
    capacity_ = capacity;
  }

  wchar_t* copy = nullptr;
  if (text != nullptr && *text != L'\0') {
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    copy = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
    if (copy == nullptr) return false;
    std::memcpy(copy, text, bytes);
  }
  items_[count_++] = copy;
  return true;
}

const wchar_t* CWideStringList::Get(size_t index) const {
  return index < count_ ? items_[index] : nullptr;
}

void CWideStringList::Shrink(size_t count) {
  while (count_ > count) ::CoTaskMemFree(items_[--count_]);
}

void CWideStringList::Clear() {
  Shrink(0);
  ::CoTaskMemFree(items_);
  items_ = nullptr;
  capacity_ = 0;
}
