#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// When a component of the update descriptor needs the installer, chosen by the descriptor's
// UpdateMode option.
enum UpdateMode {
  UPDATE_MODE_ALWAYS = 1,
  UPDATE_MODE_NEWER = 2,  // the default
  UPDATE_MODE_NOTEXIST = 3,
  UPDATE_MODE_NOTSAME = 4,
};

// The mode an UpdateMode text names, compared in upper case ("notsame" is NOTSAME); anything
// else is UPDATE_MODE_NEWER.
UpdateMode UpdateModeFromText(std::wstring_view text);

// Whether a child element of the descriptor's Update element describes a component: its local
// name is "COMPONENT" in any letter case.
bool IsComponentName(std::wstring_view localName);

// The decision once the component's registration has been looked at: installed is the version
// text of its registered server file, or nothing when it is not registered or has no readable
// version (then it needs updating whatever the mode).
bool NeedsUpdateFor(UpdateMode mode, const std::optional<std::wstring>& installed,
                    std::wstring_view required);

// One child of the Update element, as the walk reads it.
struct ComponentEntry {
  std::wstring localName;
  std::optional<std::wstring> clsid;    // the CLSID attribute, when present
  std::optional<std::wstring> version;  // the Version attribute, when present
};

enum class DescriptorOutcome {
  kUpdateNeeded,     // a component needs updating; the walk stopped there
  kNothingToUpdate,  // every child was looked at; none needs updating
  kNoComponents,     // the Update element has no child elements (or there is none)
};

// Walks the children 0..count-1 in order, skipping those that are no components, and asks
// needsUpdate about each component until one needs updating; entryAt is asked for a child only
// when the walk reaches it.
DescriptorOutcome WalkComponents(size_t count, const std::function<ComponentEntry(size_t)>& entryAt,
                                 const std::function<bool(const ComponentEntry&)>& needsUpdate);
