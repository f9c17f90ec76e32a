#include "installer/install_engine.h"

#include "common/reg_key.h"
#include "installer/core/catalog_table.h"
#include "platform/code_download.h"

namespace {

const wchar_t kPreApprovedPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved\\";
const wchar_t kInternetSettingsPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";

}  // namespace

CInstallEngine::CInstallEngine(ICodeDownloadService& service, ConsoleUserSettings user)
    : service_(service), user_(std::move(user)) {}

CInstallEngine::~CInstallEngine() { Destroy(); }

bool CInstallEngine::Create(HWND parent) {
  ScopedWindow window(::CreateWindowExW(
      0, L"button", L"", WS_CHILD, 0, 0, 0, 0, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)),
      reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr));
  if (!window || FAILED(Subclass(window.Get()))) return false;
  (void)window.Take();  // destroyed by Destroy from now on
  return true;
}

void CInstallEngine::Destroy() {
  CWindowImpl::Destroy();
  DropReader();
}

void CInstallEngine::DropReader() {
  if (reader_) {
    reader_->Detach();  // first, so that the abort's stop finds nobody
    reader_->Abort();
  }
  reader_.Reset();
  bindContext_.Reset();
}

void CInstallEngine::SetTarget(const std::wstring& clsidText, const std::wstring& codeBase,
                               const std::wstring& versionText) {
  clsidText_ = clsidText;
  codeBase_ = codeBase;
  version_ = ParseVersionText(versionText);
}

void CInstallEngine::Start() {
  if (user_.userRoot != nullptr) PrepareUserSettings();

  CLSID clsid = CLSID_NULL;
  (void)::CLSIDFromString(clsidText_.c_str(),
                          &clsid);  // a bad text asks for CLSID_NULL, which fails

  DropReader();  // one row at a time
  installResult_ = kOutcomeNoError;
  stopResult_ = S_OK;
  objectDelivered_ = false;
  reader_ = MakeComObject<CBindStatusReader>(static_cast<IBindStatusOwner&>(*this));
  HRESULT hr = reader_->PrepareBindContext(BIND_MAYBOTHERUSER, bindContext_.GetAddressOf());
  Microsoft::WRL::ComPtr<IClassFactory> factory;
  if (SUCCEEDED(hr)) {
    hr = service_.GetClassObjectFromURL(
        clsid, codeBase_.c_str(), version_.ms, version_.ls, nullptr, bindContext_.Get(),
        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IClassFactory,
        reinterpret_cast<void**>(factory.GetAddressOf()));
  }
  if (hr == S_OK) {
    // Available at once: report it as the callbacks would, object first, then the end.
    const WPARAM object = reinterpret_cast<WPARAM>(factory.Get());
    ::PostMessageW(Handle(), WM_INSTALL_OBJECT, object, 0);
    ::PostMessageW(Handle(), WM_INSTALL_DONE, object, 0);
    objectDelivered_ = true;
  } else if (hr != MK_S_ASYNCHRONOUS) {
    stopResult_ = FAILED(hr) ? hr : E_UNEXPECTED;  // refused at once: no notification follows
    ::PostMessageW(Handle(), WM_INSTALL_DONE, 0, 0);
  }

  if (const unsigned minimum = MinConnectionsFor(clsidText_); minimum != 0) {
    RaiseConnectionLimit(minimum);
  }
}

HRESULT CInstallEngine::Abort() {
  if (reader_) reader_->Abort();  // the stop notification reports the outcome
  return S_OK;
}

HRESULT CInstallEngine::OnBindProgress(ULONG, ULONG, ULONG status, const wchar_t* text) {
  // The text lives only during this call, so it does not travel with the posted message.
  ::PostMessageW(Handle(), WM_INSTALL_PROGRESS, status, 0);

  if (status == BINDSTATUS_FINDINGRESOURCE) {
    // The service looks for the resource once; a second look in a row means it was not found.
    if (sawFindingResource_) {
      sawFindingResource_ = false;
      installResult_ = kOutcomeResourceNotFound;
      (void)Abort();
    }
    sawFindingResource_ = true;
    return S_OK;
  }
  sawFindingResource_ = false;
  if (status == BINDSTATUS_MIMETYPEAVAILABLE) {
    if (text != nullptr && std::wcscmp(text, L"text/html") == 0) {
      // A code base that answers with a web page (typically an error page) holds no CAB.
      installResult_ = kOutcomeHtmlCodeBase;
      (void)Abort();
      return E_INVALIDARG;
    }
  }
  return S_OK;
}

HRESULT CInstallEngine::OnBindObject(REFIID riid, IUnknown* object) {
  if (riid != IID_IClassFactory || object == nullptr) return E_INVALIDARG;
  ::PostMessageW(Handle(), WM_INSTALL_OBJECT, reinterpret_cast<WPARAM>(object), 0);
  objectDelivered_ = true;
  return S_OK;
}

void CInstallEngine::OnBindStop(HRESULT result, const std::wstring&) {
  stopResult_ = result;
  ::PostMessageW(Handle(), WM_INSTALL_DONE, 0, 0);
}

LONG CInstallEngine::Outcome() const {
  // Our own reason to end the row says more than the abort it caused.
  if (installResult_ != kOutcomeNoError) return installResult_;
  if (FAILED(stopResult_)) return stopResult_;
  return objectDelivered_ ? kOutcomeNoError : kOutcomeNoClassObject;
}

void CInstallEngine::PrepareUserSettings() const {
  // The user's stored settings for the control would keep it disabled or asking; start clean.
  if (!user_.userExtSettingsPath.empty()) {
    const std::wstring settings = user_.userExtSettingsPath + clsidText_;
    RegKey key;
    if (key.Open(user_.userRoot, settings, KEY_READ) == ERROR_SUCCESS) {
      key.Close();
      // Only a key without subkeys goes; one with subkeys stays, and the install goes on.
      (void)::RegDeleteKeyW(user_.userRoot, settings.c_str());
    }
  }
  // Pre-approval lets the control run without the browser's add-on prompt.
  const std::wstring preApproved = kPreApprovedPath + clsidText_;
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, preApproved, KEY_READ) != ERROR_SUCCESS) {
    (void)key.Create(HKEY_LOCAL_MACHINE, preApproved);
  }
}

void CInstallEngine::RaiseConnectionLimit(DWORD minimum) const {
  HKEY root = HKEY_CURRENT_USER;
  std::wstring path = kInternetSettingsPath;
  if (!user_.userSid.empty()) {
    root = HKEY_USERS;
    path = user_.userSid + L"\\" + path;
  }
  RegKey key;
  if (key.Open(root, path, KEY_READ | KEY_WRITE) != ERROR_SUCCESS) return;
  if (key.ReadDword(L"MaxConnectionsPerServer").value_or(0) < minimum) {
    (void)key.WriteDword(L"MaxConnectionsPerServer", minimum);
  }
}

LRESULT CInstallEngine::OnObject(WPARAM object, LPARAM) {
  if (reader_) ::SendMessageW(::GetParent(Handle()), WM_INSTALL_DONE, object, 0);
  return 0;
}

LRESULT CInstallEngine::OnProgress(WPARAM statusCode, LPARAM statusText) {
  ::SendMessageW(::GetParent(Handle()), WM_INSTALL_PROGRESS, statusCode, statusText);
  return 0;
}

LRESULT CInstallEngine::OnDone(WPARAM, LPARAM) {
  if (!reader_) return 0;
  DropReader();  // ended already: this only lets go
  // The dialog may start the next row from inside this call.
  ::SendMessageW(::GetParent(Handle()), WM_INSTALL_DONE, 0, Outcome());
  return 0;
}
