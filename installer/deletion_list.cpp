#include "installer/deletion_list.h"

#include <windows.h>

#include "common/text_compare.h"

bool CDeletionList::IsInDeletionList(const std::wstring& name) const {
  bool found = false;
  for (const auto& element : names_) {
    if (EqualsNoCase(element, name)) found = true;
  }
  return found;
}
