#include "velmar/update_descriptor.h"

#include <iterator>
#include <optional>

#include "common/com_server/variant.h"
#include "common/scoped_bstr.h"
#include "common/system_folders.h"

using Microsoft::WRL::ComPtr;

namespace {

// Read in this order, each relative to the Options element; only UpdateMode changes anything
// here, the others are the installer program's.
constexpr const wchar_t* kOptions[] = {
    L"UpdateConfirm",
    L"FinishTimeout",
    L"KillIEConfirm",
    L"Registration",
    L"UpdateMode",
    L"OpenPage/@Mode",
    L"OpenPage/OnCompleted",
    L"OpenPage/OnError",
    L"CompletedMessage",
    L"DisplayMoreInfo/@ShowMore",
    L"DisplayMoreInfo",
    L"AutoStart",
    L"TrustZone",
};

ScopedBstr Bstr(const wchar_t* text) { return ScopedBstr(::SysAllocString(text)); }

// A parser property; one the parser does not know is no reason not to go on.
void SetProperty(IXMLDOMDocument* document, const wchar_t* name, ScopedVariant value) {
  ComPtr<IXMLDOMDocument2> document2;
  if (FAILED(document->QueryInterface(IID_PPV_ARGS(&document2)))) return;
  const ScopedBstr property = Bstr(name);
  (void)document2->setProperty(property.Get(), value.Get());
}

ScopedVariant Flag(bool value) {
  ScopedVariant flag;
  flag.Pointer()->vt = VT_BOOL;
  flag.Pointer()->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return flag;
}

// The text of the first node the query selects below node; nullopt when none does. Selection
// failing outright is told apart through failed.
std::optional<std::wstring> SelectedText(IXMLDOMNode* node, const wchar_t* query, bool* failed) {
  const ScopedBstr path = Bstr(query);
  ComPtr<IXMLDOMNode> found;
  const HRESULT selected = node->selectSingleNode(path.Get(), &found);
  if (failed != nullptr) *failed = FAILED(selected);
  if (selected != S_OK || !found) return std::nullopt;
  ScopedBstr text;
  if (FAILED(found->get_text(text.Receive()))) return std::nullopt;
  return text.Text();
}

std::optional<std::wstring> Attribute(IXMLDOMElement* element, const wchar_t* name) {
  const ScopedBstr attribute = Bstr(name);
  ScopedVariant value;
  if (element->getAttribute(attribute.Get(), value.Receive()) != S_OK ||
      value.Get().vt != VT_BSTR) {
    return std::nullopt;
  }
  return std::wstring(value.Get().bstrVal, ::SysStringLen(value.Get().bstrVal));
}

}  // namespace

DescriptorOutcome CUpdateDescriptor::Process(const std::wstring& source) {
  mode_ = UPDATE_MODE_NEWER;
  if (!Load(source)) return DescriptorOutcome::kNoComponents;
  ReadOptions();
  const ScopedBstr query = Bstr(L"Kovira/Update/*");
  ComPtr<IXMLDOMNodeList> children;
  long count = 0;
  if (document_->selectNodes(query.Get(), &children) != S_OK || !children ||
      FAILED(children->get_length(&count)) || count <= 0) {
    return DescriptorOutcome::kNoComponents;
  }
  return WalkComponents(
      static_cast<size_t>(count), [&](size_t index) { return EntryOf(children.Get(), index); },
      [&](const ComponentEntry& entry) {
        return versions_.NeedsUpdate(entry.clsid, entry.version, mode_);
      });
}

bool CUpdateDescriptor::Load(const std::wstring& source) {
  document_.Reset();
  CLSID parser;
  if (FAILED(::CLSIDFromProgID(L"Msxml2.DOMDocument", &parser))) return false;
  ComPtr<IXMLDOMDocument> document;
  if (FAILED(::CoCreateInstance(parser, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&document)))) {
    return false;
  }
  (void)document->put_preserveWhiteSpace(VARIANT_TRUE);
  (void)document->put_async(VARIANT_FALSE);
  // Nothing outside the document is fetched, and nothing is checked against a DTD.
  (void)document->put_resolveExternals(VARIANT_FALSE);
  (void)document->put_validateOnParse(VARIANT_FALSE);
  SetProperty(document.Get(), L"ProhibitDTD", Flag(true));
  SetProperty(document.Get(), L"SelectionLanguage", ScopedVariant(L"XPath"));
  document_ = document;
  if (source.empty()) return false;
  // A source that does not load leaves an empty document: the walk then finds no components.
  ScopedVariant location(source.c_str());
  VARIANT_BOOL loaded = VARIANT_FALSE;
  (void)document_->load(location.Get(), &loaded);
  return true;
}

void CUpdateDescriptor::ReadOptions() {
  const ScopedBstr query = Bstr(L"Kovira/Options");
  ComPtr<IXMLDOMNode> options;
  if (document_->selectSingleNode(query.Get(), &options) != S_OK || !options) return;
  for (const wchar_t* option : kOptions) {
    bool failed = false;
    std::optional<std::wstring> text = SelectedText(options.Get(), option, &failed);
    if (failed) return;
    if (!text) continue;
    if (!text->empty()) ::CharUpperBuffW(text->data(), static_cast<DWORD>(text->size()));
    if (std::wstring_view(option) == L"UpdateMode") mode_ = UpdateModeFromText(*text);
  }
}

ComponentEntry CUpdateDescriptor::EntryOf(IXMLDOMNodeList* children, size_t index) const {
  ComponentEntry entry;
  ComPtr<IXMLDOMNode> node;
  if (children->get_item(static_cast<long>(index), &node) != S_OK || !node) return entry;
  ScopedBstr name;
  if (SUCCEEDED(node->get_baseName(name.Receive()))) entry.localName = name.Text();
  ComPtr<IXMLDOMElement> element;
  if (SUCCEEDED(node.As(&element))) {
    entry.clsid = Attribute(element.Get(), L"CLSID");
    entry.version = Attribute(element.Get(), L"Version");
  }
  return entry;
}

std::wstring CUpdateDescriptor::SaveCopy() {
  if (!document_) return {};
  const std::wstring folder = TempFolder();
  if (folder.empty()) return {};
  // The folder ends in a separator already: the path has two before the name, as installers
  // have always received it.
  const std::wstring path = folder + L"\\" + kSavedCopyName;
  if (path.size() >= MAX_PATH) return {};
  (void)::DeleteFileW(path.c_str());  // a copy left from before; gone or not, the save decides
  ScopedVariant target(path.c_str());
  (void)document_->save(target.Get());
  return path;
}
