#pragma once

#include <windows.h>

#include "common/com_server/connection_point.h"
#include "common/com_server/type_info_dispatch.h"
#include "common/control/control_object.h"
#include "common/control/object_safety_impl.h"
#include "common/control/object_with_site_impl.h"
#include "common/control/ole_control_impl.h"
#include "common/control/ole_in_place_object_impl.h"
#include "common/control/ole_object_impl.h"
#include "common/control/persist_property_bag_impl.h"
#include "common/control/provide_class_info_impl.h"
#include "common/control/quick_activate_impl.h"
#include "common/control/support_error_info_impl.h"
#include "common/control/view_object_impl.h"
#include "common/scoped_bstr.h"
#include "common/user_prompt.h"
#include "common/window/message_map.h"
#include "velmar/core/download_path.h"
#include "velmar/downloader.h"
#include "velmar/update_steps.h"
// widl gives optional BSTR arguments a string-literal default.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wwrite-strings"
#include "velmar_typelib.h"
#pragma GCC diagnostic pop

// The update manager control: a page places it (one pixel square, painting nothing) and calls
// Update or DownloadFile; outcomes reach the page only as _IVelmarEvents.
class CVelmar final
    : public ControlObject<CVelmar, TypeInfoDispatch<IVelmar>, SupportErrorInfoImpl,
                           ConnectionPointContainer, ObjectWithSiteImpl, OleControlImpl,
                           OleObjectImpl, OleInPlaceObjectOnlyImpl, ObjectSafetyImpl,
                           PersistPropertyBagImpl, ProvideClassInfoImpl, QuickActivateImpl,
                           ViewObjectImpl> {
 public:
  CVelmar();
  // prompt asks the download dialog's Cancel question.
  explicit CVelmar(IUpdateSteps& steps, IUserPrompt& prompt = SystemUserPrompt());

  static const ControlClass& Description();

  // IVelmar
  STDMETHODIMP Execute(BSTR bstrFilePath, BSTR strCmdLine) override;
  STDMETHODIMP get_InstallerInfoXML(BSTR* pVal) override;
  STDMETHODIMP put_InstallerInfoXML(BSTR newVal) override;
  STDMETHODIMP get_ShowWaitDialog(VARIANT_BOOL* pVal) override;
  STDMETHODIMP put_ShowWaitDialog(VARIANT_BOOL newVal) override;
  STDMETHODIMP get_DownloadTitleText(BSTR* pVal) override;
  STDMETHODIMP put_DownloadTitleText(BSTR newVal) override;
  STDMETHODIMP DownloadFile(BSTR bstrDownloadURL, BSTR bstrLocalPath, LONG bOverWrite) override;
  STDMETHODIMP Update(BSTR bstrXMLUrl) override;
  STDMETHODIMP get_TrustZone(BSTR* pVal) override;
  STDMETHODIMP put_TrustZone(BSTR newVal) override;
  STDMETHODIMP get_XMLUrl(BSTR* pVal) override;
  STDMETHODIMP put_XMLUrl(BSTR newVal) override;
  STDMETHODIMP get_SaveXML(VARIANT_BOOL* pVal) override;
  STDMETHODIMP put_SaveXML(VARIANT_BOOL newVal) override;

 private:
  ~CVelmar() override = default;

  BEGIN_MSG_MAP(CVelmar)
  MESSAGE_HANDLER(WM_CREATE, OnCreate)
  END_MSG_MAP()

  LRESULT OnCreate(WPARAM, LPARAM);
  // A hand-off or a transfer still under way when the control's work ends is ended with it.
  void OnTeardown() override;

  // The page-relative URL made absolute through the page's bind host; false leaves url as it was.
  bool ResolveUrl(std::wstring& url);
  // The window that owns what Update shows.
  HWND OwnerWindow();
  void RaiseUpdateEvent(const HandOffResult& result);
  // The folder tokens of a download's local path, as this system names them.
  static FolderTokens SystemFolderTokens();
  // The page's bind host, when its site offers one.
  Microsoft::WRL::ComPtr<IBindHost> PageBindHost();
  void RaiseDownloadError(LONG code, const std::wstring& text);

  IUpdateSteps& steps_;
  IUserPrompt& prompt_;
  ScopedBstr m_bstrInstallerInfoXML;
  BOOL m_bShowWaitDialog = TRUE;
  ScopedBstr m_bstrDownloadTitleText;
  ScopedBstr m_bstrTrustZone;
  ScopedBstr m_bstrXMLUrl;
  BOOL m_bSaveXML = FALSE;
  BOOL m_bUpdateStarted = FALSE;
  bool handingOff_ = false;              // this control's Update is in its hand-off
  CDownloader* m_pDownloader = nullptr;  // the transfer running, if any
};
