#include "deletion_list.h"

#include <windows.h>

bool CDeletionList::IsInDeletionList(const std::wstring& name) const {
  bool found = false;
  for (const auto& element : names_) {
    if (::CompareStringOrdinal(element.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) found = true;
  }
  return found;
}
