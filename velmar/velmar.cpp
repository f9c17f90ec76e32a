#include "velmar/velmar.h"

#include <servprov.h>
#include <urlmon.h>

#include <optional>

#include "common/com_server/com_module.h"
#include "common/control/resolve_url.h"
#include "common/module_info.h"
#include "common/reg_key.h"
#include "common/system_folders.h"
#include "velmar/installer_path.h"
#include "velmar/resource.h"
#include "velmar/update_slot.h"

using Microsoft::WRL::ComPtr;

namespace {

enum VelmarEvent : DISPID {
  kOnUpdateCompleted = 1,
  kOnUpdateError = 2,
  kOnDownloadCompleted = 4,
  kOnDownloadError = 5,
};

// OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
// OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST, as registered.
constexpr DWORD kMiscStatus = 131473;

constexpr PersistedProperty kProperties[] = {
    {L"InstallerInfoXML", PersistedProperty::Kind::Dispatch, 2, nullptr},
    {L"ShowWaitDialog", PersistedProperty::Kind::Dispatch, 3, nullptr},
    {L"DownloadTitleText", PersistedProperty::Kind::Dispatch, 4, nullptr},
    {L"TrustZone", PersistedProperty::Kind::Dispatch, 7, nullptr},
    {L"XMLUrl", PersistedProperty::Kind::Dispatch, 8, nullptr},
    {L"SaveXML", PersistedProperty::Kind::Dispatch, 9, nullptr},
};

}  // namespace

CVelmar::CVelmar() : CVelmar(DefaultUpdateSteps()) {}

CVelmar::CVelmar(IUpdateSteps& steps, IUserPrompt& prompt)
    : steps_(steps),
      prompt_(prompt),
      m_bstrDownloadTitleText(::SysAllocString(L"Downloading ...")) {
  (void)AddConnectionPoint(DIID__IVelmarEvents);  // without memory, no sink can connect
}

const ControlClass& CVelmar::Description() {
  static const ControlClass description = {
      &CLSID_Velmar,
      &IID_IVelmar,
      &DIID__IVelmarEvents,
      kProperties,
      kMiscStatus,
      0,  // paints nothing: neither opaque nor solid
      {1, 1},
      L"KoviraVelmarControl",
      CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
      reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
      0x300,
  };
  return description;
}

STDMETHODIMP CVelmar::Execute(BSTR, BSTR) { return S_OK; }

STDMETHODIMP CVelmar::get_InstallerInfoXML(BSTR* pVal) {
  return m_bstrInstallerInfoXML.CopyTo(pVal);
}
STDMETHODIMP CVelmar::put_InstallerInfoXML(BSTR newVal) {
  return m_bstrInstallerInfoXML.CopyFrom(newVal);
}
STDMETHODIMP CVelmar::get_DownloadTitleText(BSTR* pVal) {
  return m_bstrDownloadTitleText.CopyTo(pVal);
}
STDMETHODIMP CVelmar::put_DownloadTitleText(BSTR newVal) {
  return m_bstrDownloadTitleText.CopyFrom(newVal);
}
STDMETHODIMP CVelmar::get_TrustZone(BSTR* pVal) { return m_bstrTrustZone.CopyTo(pVal); }
STDMETHODIMP CVelmar::put_TrustZone(BSTR newVal) { return m_bstrTrustZone.CopyFrom(newVal); }
STDMETHODIMP CVelmar::get_XMLUrl(BSTR* pVal) { return m_bstrXMLUrl.CopyTo(pVal); }
STDMETHODIMP CVelmar::put_XMLUrl(BSTR newVal) { return m_bstrXMLUrl.CopyFrom(newVal); }

STDMETHODIMP CVelmar::get_ShowWaitDialog(VARIANT_BOOL* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_bShowWaitDialog ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// A VARIANT_BOOL is 16 bits wide: whatever a caller left above them is not looked at.
STDMETHODIMP CVelmar::put_ShowWaitDialog(VARIANT_BOOL newVal) {
  m_bShowWaitDialog = newVal != 0 ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CVelmar::get_SaveXML(VARIANT_BOOL* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_bSaveXML ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CVelmar::put_SaveXML(VARIANT_BOOL newVal) {
  m_bSaveXML = newVal != 0 ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CVelmar::DownloadFile(BSTR bstrDownloadURL, BSTR bstrLocalPath, LONG bOverWrite) {
  const ComPtr<IVelmar> keep_alive(this);  // the dialog pumps messages; script may let go of us
  // Before the file checks: a second call must not delete or report the file being written.
  if (m_pDownloader != nullptr) return S_OK;
  const std::wstring url(bstrDownloadURL != nullptr ? bstrDownloadURL : L"",
                         ::SysStringLen(bstrDownloadURL));
  const std::wstring folder(bstrLocalPath != nullptr ? bstrLocalPath : L"",
                            ::SysStringLen(bstrLocalPath));
  const std::optional<std::wstring> name = DownloadFileName(url);
  if (!name) {
    // A name that could leave the folder: refused before anything is deleted or created.
    RaiseDownloadError(IDS_DOWNLOAD_FAILED,
                       LoadResourceString(ComModule::Instance(), IDS_DOWNLOAD_FAILED));
    return S_OK;
  }
  DownloadRequest request;
  request.fileName = *name;
  request.localPath = ExpandFolderToken(DownloadLocalPath(folder, *name), SystemFolderTokens());
  if (bOverWrite != 0) {
    if (!::DeleteFileW(request.localPath.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      RaiseDownloadError(
          IDS_CANNOT_DELETE_FILE,
          LoadResourceString(ComModule::Instance(), IDS_CANNOT_DELETE_FILE) + request.localPath);
      return S_OK;
    }
  } else {
    const ScopedFile existing(::CreateFileW(request.localPath.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (existing) {
      (void)Fire(kOnDownloadCompleted, request.localPath.c_str());
      return S_OK;
    }
  }

  request.url = url;
  if (!ResolveUrl(request.url)) request.url.clear();  // the start then fails
  request.title = m_bstrDownloadTitleText.Text();
  const ComPtr<IBindHost> bindHost = PageBindHost();
  request.bindHost = bindHost.Get();
  request.owner = OwnerWindow();

  CDownloader downloader(prompt_);
  m_pDownloader = &downloader;
  const DownloadOutcome outcome = downloader.Run(request);
  m_pDownloader = nullptr;
  if (outcome.errorCode == 0) {
    (void)Fire(kOnDownloadCompleted, outcome.text.c_str());
  } else {
    RaiseDownloadError(outcome.errorCode, outcome.text);
  }
  return S_OK;
}

void CVelmar::RaiseDownloadError(LONG code, const std::wstring& text) {
  (void)Fire(kOnDownloadError, code, text.c_str());
}

FolderTokens CVelmar::SystemFolderTokens() {
  FolderTokens tokens{TempFolder(), std::nullopt, WindowsFolder()};
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion") ==
      ERROR_SUCCESS) {
    tokens.programFiles = key.ReadString(L"ProgramFilesDir");
  }
  return tokens;
}

ComPtr<IBindHost> CVelmar::PageBindHost() {
  ComPtr<IServiceProvider> services;
  ComPtr<IBindHost> host;
  if (ClientSite() != nullptr && SUCCEEDED(ClientSite()->QueryInterface(IID_PPV_ARGS(&services)))) {
    (void)services->QueryService(SID_IBindHost, IID_PPV_ARGS(&host));  // none: a plain moniker
  }
  return host;
}

STDMETHODIMP CVelmar::Update(BSTR bstrXMLUrl) {
  const ComPtr<IVelmar> keep_alive(this);  // the steps pump messages; script may let go of us
  // Before the trusted-sites question, which pumps messages: the window's creation meanwhile
  // must not start an update of its own.
  m_bUpdateStarted = TRUE;
  // A second Update while one runs (from script during the wait, or another control of the
  // process) is refused without an event: the running one reports.
  const CUpdateSlot slot;
  if (!slot.Taken()) return S_OK;
  steps_.RegisterTrustedSites(m_bstrTrustZone.Text(), OwnerWindow());

  HandOffRequest request;
  request.installerPath = InstallerPathBesideControl();
  if (bstrXMLUrl != nullptr) request.descriptorUrl.assign(bstrXMLUrl, ::SysStringLen(bstrXMLUrl));
  if (!request.descriptorUrl.empty()) (void)ResolveUrl(request.descriptorUrl);
  request.pageBaseUrl = L".";
  if (!ResolveUrl(request.pageBaseUrl)) request.pageBaseUrl.clear();
  request.installerInfoXml = m_bstrInstallerInfoXML.Text();
  request.showWaitDialog = m_bShowWaitDialog != FALSE;
  request.saveXml = m_bSaveXML != FALSE;
  request.owner = OwnerWindow();

  handingOff_ = true;
  const HandOffResult result = steps_.HandOff(request);
  handingOff_ = false;
  RaiseUpdateEvent(result);
  return S_OK;
}

void CVelmar::RaiseUpdateEvent(const HandOffResult& result) {
  if (result.code == 0 || result.code == -2) {
    (void)Fire(kOnUpdateCompleted);
  } else if (result.code == -1) {
    // the installer has nothing to report
  } else if (result.code >= 2000) {
    (void)Fire(kOnUpdateError, result.code, result.message.c_str());
  } else {
    // A string id is 16 bits: a larger or negative code must not find a string by its low word.
    const bool is_string_id = result.code > 0 && result.code <= 0xFFFF;
    const std::wstring message =
        is_string_id ? LoadResourceString(ComModule::Instance(), static_cast<UINT>(result.code))
                     : std::wstring();
    (void)Fire(kOnUpdateError, result.code, message.c_str());
  }
}

bool CVelmar::ResolveUrl(std::wstring& url) {
  return SUCCEEDED(ResolvePageUrl(ClientSite(), url.c_str(), url));
}

HWND CVelmar::OwnerWindow() {
  if (Window() != nullptr) return Window();
  HWND container = nullptr;
  ComPtr<IOleWindow> site_window;
  if (ClientSite() != nullptr &&
      SUCCEEDED(ClientSite()->QueryInterface(IID_PPV_ARGS(&site_window)))) {
    (void)site_window->GetWindow(&container);
  }
  return container;
}

void CVelmar::OnTeardown() {
  if (handingOff_) steps_.EndHandOff();
  if (m_pDownloader != nullptr) m_pDownloader->End();
}

LRESULT CVelmar::OnCreate(WPARAM, LPARAM) {
  // A page's XMLUrl starts an update as soon as the control has its window, unless the page's
  // script already ran one.
  if (m_bstrXMLUrl.Empty() || m_bUpdateStarted) return 0;
  // A copy: script may set XMLUrl again while the update runs.
  ScopedBstr url;
  if (SUCCEEDED(url.CopyFrom(m_bstrXMLUrl.Get()))) (void)Update(url.Get());
  return 0;
}
