#include "common/com_server/registry_rows.h"

#include <objbase.h>

#include <array>

#include "common/reg_key.h"
#include "common/text_compare.h"
#include "common/win_error.h"

namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::CurrentUser:
      return HKEY_CURRENT_USER;
  }
  return nullptr;
}

// True when key is parent or the same key as other.
bool Covers(std::wstring_view key, std::wstring_view other) {
  if (other.size() < key.size()) return false;
  if (!EqualsNoCase(key, other.substr(0, key.size()))) return false;
  return other.size() == key.size() || other[key.size()] == L'\\';
}

// Keys that hold other programs' registrations; a table that owns one is wrong.
bool IsWellKnownParent(std::wstring_view key) {
  static constexpr std::array<std::wstring_view, 14> kParents = {
      L"CLSID",
      L"Interface",
      L"TypeLib",
      L"AppID",
      L"Component Categories",
      L"MIME",
      L"Software",
      L"Software\\Classes",
      L"Software\\Classes\\CLSID",
      L"Software\\Classes\\Interface",
      L"Software\\Classes\\TypeLib",
      L"Software\\Classes\\AppID",
      L"Software\\Microsoft",
      L"Software\\Wow6432Node",
  };
  for (std::wstring_view parent : kParents) {
    if (EqualsNoCase(parent, key)) return true;
  }
  return false;
}

bool IsWellFormedKey(std::wstring_view key) {
  if (key.empty() || key.front() == L'\\' || key.back() == L'\\') return false;
  return key.find(L"\\\\") == std::wstring_view::npos;
}

bool IsPlaceholderChar(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
         c == L'_';
}

bool IsOwned(KeyOwnership ownership) { return ownership != KeyOwnership::Shared; }

HRESULT RemoveOne(const ExpandedRow& row) {
  if (IsOwned(row.ownership)) {
    const LONG error = RegKey::DeleteTree(row.root, row.key);
    return error == ERROR_SUCCESS ? S_OK : HResultFromWin32(error);
  }
  if (row.kind == RowValue::Kind::None) return S_OK;  // a shared key alone is never ours
  RegKey key;
  LONG error = key.Open(row.root, row.key, KEY_SET_VALUE);
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  if (error == ERROR_SUCCESS) error = ::RegDeleteValueW(key.Get(), row.name.c_str());
  return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? S_OK : HResultFromWin32(error);
}

HRESULT WriteOne(const ExpandedRow& row) {
  RegKey key;
  LONG error = key.Create(row.root, row.key, KEY_SET_VALUE);
  if (error == ERROR_SUCCESS) {
    if (row.kind == RowValue::Kind::String) {
      error = key.WriteString(row.name, row.text);
    } else if (row.kind == RowValue::Kind::Dword) {
      error = key.WriteDword(row.name, row.number);
    }
  }
  return error == ERROR_SUCCESS ? S_OK : HResultFromWin32(error);
}

}  // namespace

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  return ::StringFromGUID2(guid, text, static_cast<int>(std::size(text))) > 0 ? text
                                                                              : std::wstring();
}

HRESULT ExpandPlaceholders(std::wstring_view text, std::span<const Substitution> substitutions,
                           std::wstring& expanded) {
  expanded.clear();
  for (size_t i = 0; i < text.size();) {
    if (text[i] != L'%') {
      expanded += text[i++];
      continue;
    }
    const size_t close = text.find(L'%', i + 1);
    if (close == std::wstring_view::npos) return E_INVALIDARG;
    const std::wstring_view name = text.substr(i + 1, close - i - 1);
    i = close + 1;
    if (name.empty()) {
      expanded += L'%';
      continue;
    }
    const Substitution* found = nullptr;
    for (const Substitution& substitution : substitutions) {
      if (substitution.name == name) found = &substitution;
    }
    bool valid = found != nullptr;
    for (wchar_t c : name) valid = valid && IsPlaceholderChar(c);
    if (!valid) return E_INVALIDARG;
    expanded += found->value;
  }
  return S_OK;
}

HRESULT ExpandRows(std::span<const RegistryRow> rows, std::span<const Substitution> substitutions,
                   std::vector<ExpandedRow>& expanded) {
  expanded.clear();
  for (const RegistryRow& row : rows) {
    ExpandedRow out{RootKey(row.root), {}, {}, row.value.kind, {}, row.value.number, row.ownership};
    if (out.root == nullptr || row.key == nullptr) return E_INVALIDARG;
    HRESULT result = ExpandPlaceholders(row.key, substitutions, out.key);
    if (SUCCEEDED(result) && row.name != nullptr) {
      result = ExpandPlaceholders(row.name, substitutions, out.name);
    }
    if (SUCCEEDED(result) && row.value.kind == RowValue::Kind::String) {
      result = row.value.text ? ExpandPlaceholders(row.value.text, substitutions, out.text)
                              : E_INVALIDARG;
    }
    if (FAILED(result)) return result;
    if (!IsWellFormedKey(out.key)) return E_INVALIDARG;
    if (IsOwned(out.ownership) && IsWellKnownParent(out.key)) return E_INVALIDARG;
    expanded.push_back(std::move(out));
  }
  for (const ExpandedRow& owned : expanded) {
    if (!IsOwned(owned.ownership)) continue;
    for (const ExpandedRow& shared : expanded) {
      if (shared.ownership == KeyOwnership::Shared && shared.root == owned.root &&
          Covers(owned.key, shared.key)) {
        return E_INVALIDARG;
      }
    }
  }
  return S_OK;
}

HRESULT WriteRows(std::span<const RegistryRow> rows, std::span<const Substitution> substitutions) {
  std::vector<ExpandedRow> expanded;
  HRESULT result = ExpandRows(rows, substitutions, expanded);
  if (FAILED(result)) return result;
  for (const ExpandedRow& row : expanded) {
    if (row.ownership != KeyOwnership::Replaced) continue;
    const LONG error = RegKey::DeleteTree(row.root, row.key);
    if (error != ERROR_SUCCESS) return HResultFromWin32(error);
  }
  for (size_t i = 0; i < expanded.size(); ++i) {
    result = WriteOne(expanded[i]);
    if (FAILED(result)) {
      for (size_t j = i + 1; j-- > 0;) (void)RemoveOne(expanded[j]);
      return result;
    }
  }
  return S_OK;
}

HRESULT RemoveRows(std::span<const RegistryRow> rows, std::span<const Substitution> substitutions) {
  std::vector<ExpandedRow> expanded;
  HRESULT result = ExpandRows(rows, substitutions, expanded);
  if (FAILED(result)) return result;
  for (const ExpandedRow& row : expanded) {
    const HRESULT removed = RemoveOne(row);
    if (SUCCEEDED(result)) result = removed;  // keep going: remove as much as we can
  }
  return result;
}
