#pragma once

#include <cstddef>
#include <string>
#include <vector>

// File names a removal pass takes out of the component store. Duplicates are kept: two
// components may list the same extra file.
class CDeletionList {
 public:
  void Add(std::wstring name) { names_.push_back(std::move(name)); }
  // True when any element names the file, compared without regard to case.
  bool IsInDeletionList(const std::wstring& name) const;
  size_t Count() const { return names_.size(); }
  const std::vector<std::wstring>& Names() const { return names_; }
  void Clear() { names_.clear(); }

 private:
  std::vector<std::wstring> names_;
};
