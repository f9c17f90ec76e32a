#include "velmar/core/update_rules.h"

#include "velmar/core/version_compare.h"

namespace {

bool EqualsUpperCase(std::wstring_view text, std::wstring_view upper) {
  if (text.size() != upper.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i] >= L'a' && text[i] <= L'z' ? text[i] - (L'a' - L'A') : text[i];
    if (c != upper[i]) return false;
  }
  return true;
}

}  // namespace

UpdateMode UpdateModeFromText(std::wstring_view text) {
  if (EqualsUpperCase(text, L"ALWAYS")) return UPDATE_MODE_ALWAYS;
  if (EqualsUpperCase(text, L"NOTEXIST")) return UPDATE_MODE_NOTEXIST;
  if (EqualsUpperCase(text, L"NOTSAME")) return UPDATE_MODE_NOTSAME;
  return UPDATE_MODE_NEWER;
}

bool IsComponentName(std::wstring_view localName) {
  return EqualsUpperCase(localName, L"COMPONENT");
}

bool NeedsUpdateFor(UpdateMode mode, const std::optional<std::wstring>& installed,
                    std::wstring_view required) {
  if (!installed) return true;
  if (mode == UPDATE_MODE_ALWAYS) return true;
  if (mode == UPDATE_MODE_NOTEXIST) return false;
  const int order = CompareVersions(*installed, required);
  if (order == -2) return true;
  if (mode == UPDATE_MODE_NOTSAME) return order != 0;
  return order == -1;
}

DescriptorOutcome WalkComponents(size_t count, const std::function<ComponentEntry(size_t)>& entryAt,
                                 const std::function<bool(const ComponentEntry&)>& needsUpdate) {
  if (count == 0) return DescriptorOutcome::kNoComponents;
  for (size_t i = 0; i < count; ++i) {
    const ComponentEntry entry = entryAt(i);
    if (!IsComponentName(entry.localName)) continue;
    if (needsUpdate(entry)) return DescriptorOutcome::kUpdateNeeded;
  }
  return DescriptorOutcome::kNothingToUpdate;
}
