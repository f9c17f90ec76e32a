#pragma once

#include <windows.h>

#include <wrl/client.h>

#include <string>

#include "velmar/core/update_rules.h"
#include "velmar/version_check.h"
#include "velmar/xml_dom.h"

// The update descriptor of one Update: loaded by the system's XML parser from a URL or a file
// path, its UpdateMode option read, its components walked until one needs updating, and on
// request the document saved for the installer program. The parser never resolves externals
// (entities, DTDs) a document names: a descriptor has no use for them.
class CUpdateDescriptor {
 public:
  explicit CUpdateDescriptor(const CVersionCheck& versions) : versions_(versions) {}

  // kUpdateNeeded as soon as a component needs updating, kNothingToUpdate when none does, and
  // kNoComponents when the document has no Kovira/Update/* element, which includes a source
  // that does not load (none at all, XML text in place of a location, a broken document) and a
  // parser that cannot be made.
  DescriptorOutcome Process(const std::wstring& source);
  UpdateMode Mode() const { return mode_; }

  // Saves the loaded document, as parsed, to "<temporary folder>\KV3TempInstaller.xml" over any
  // file of that name and gives its path; whether the save worked is not looked at. Empty when
  // nothing was loaded or the path is longer than MAX_PATH allows.
  std::wstring SaveCopy();

  static constexpr wchar_t kSavedCopyName[] = L"KV3TempInstaller.xml";

 private:
  bool Load(const std::wstring& source);
  void ReadOptions();
  ComponentEntry EntryOf(IXMLDOMNodeList* children, size_t index) const;

  const CVersionCheck& versions_;
  Microsoft::WRL::ComPtr<IXMLDOMDocument> document_;
  UpdateMode mode_ = UPDATE_MODE_NEWER;
};
