#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

// Registration as data: each row names one key and at most one value under it. Keys, value
// names and string values may carry placeholders %NAME%, filled from a substitution list;
// "%%" stands for a plain '%'. An unknown placeholder fails the whole table, so a typo never
// reaches the registry.

enum class RegRoot { ClassesRoot, LocalMachine, CurrentUser };

// Owned: the key is ours alone and unregistration deletes it with everything below.
// Replaced: owned, and also deleted whole before registration writes it, so nothing a former
//   registration left below it survives.
// Shared: other modules use the key too; unregistration removes only this row's value.
enum class KeyOwnership { Owned, Replaced, Shared };

struct RowValue {
  enum class Kind { None, String, Dword };
  Kind kind = Kind::None;
  const wchar_t* text = nullptr;
  DWORD number = 0;
};
// The key alone, e.g. "Control" or "Programmable".
constexpr RowValue NoValue() { return {}; }
constexpr RowValue Text(const wchar_t* text) { return {RowValue::Kind::String, text, 0}; }
constexpr RowValue Number(DWORD number) { return {RowValue::Kind::Dword, nullptr, number}; }

struct RegistryRow {
  RegRoot root;
  const wchar_t* key;
  const wchar_t* name;  // empty: the key's default value
  RowValue value;
  KeyOwnership ownership;
};

struct Substitution {
  std::wstring_view name;  // without the percent signs
  std::wstring value;
};

// "{xxxxxxxx-xxxx-...}", as the registry spells class and library ids.
std::wstring GuidText(REFGUID guid);

// Replaces the placeholders of text.
HRESULT ExpandPlaceholders(std::wstring_view text, std::span<const Substitution> substitutions,
                           std::wstring& expanded);

// A row with its placeholders filled in.
struct ExpandedRow {
  HKEY root;
  std::wstring key;
  std::wstring name;
  RowValue::Kind kind;
  std::wstring text;
  DWORD number;
  KeyOwnership ownership;
};

// Expands every row and checks the table as a whole: no empty or malformed key, no owned key
// that is a well-known parent ("CLSID", "Software\\Classes", ...), and no owned key above or
// equal to a shared row's key, which deleting would take the shared key with it.
HRESULT ExpandRows(std::span<const RegistryRow> rows, std::span<const Substitution> substitutions,
                   std::vector<ExpandedRow>& expanded);

// Writes every row; on a failure removes what it wrote, as unregistration would.
HRESULT WriteRows(std::span<const RegistryRow> rows, std::span<const Substitution> substitutions);

// Deletes the owned keys whole and the shared rows' values. What is already gone counts as
// removed; never touches anything above a row's key.
HRESULT RemoveRows(std::span<const RegistryRow> rows, std::span<const Substitution> substitutions);
