#include "installer/installer_app.h"

#include <commctrl.h>
#include <winsock2.h>

#include "common/com_initializer.h"
#include "common/module_info.h"
#include "common/user_prompt.h"
#include "installer/console_user.h"
#include "installer/core/run_mode.h"
#include "installer/installer_dlg.h"
#include "installer/resource.h"

namespace {

// Windows Sockets for the life of the program.
class WinsockInitializer {
 public:
  WinsockInitializer() {
    WSADATA data;
    ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockInitializer() {
    if (ok_) ::WSACleanup();
  }
  WinsockInitializer(const WinsockInitializer&) = delete;
  WinsockInitializer& operator=(const WinsockInitializer&) = delete;
  bool Succeeded() const { return ok_; }

 private:
  bool ok_ = false;
};

void ShowStartupFailure(HINSTANCE instance, UINT stringId) {
  SystemUserPrompt().Show(nullptr, LoadResourceString(instance, stringId), ModuleBaseName(nullptr),
                          MB_OK);
}

}  // namespace

int CInstallerApp::Run(HINSTANCE instance, const std::wstring& commandLine) {
  WinsockInitializer winsock;
  if (!winsock.Succeeded()) {
    ShowStartupFailure(instance, IDS_WINSOCK_INIT_FAILED);
    return 1;
  }
  OleInitializer ole;
  if (!ole.Succeeded()) {
    ShowStartupFailure(instance, IDS_OLE_INIT_FAILED);
    return 1;
  }
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  (void)::InitCommonControlsEx(&controls);  // the progress class is also registered by default

  InstallerEnvironment environment;
  environment.programPath = ModuleFilePath(nullptr);
  environment.commandLine = commandLine;
  environment.user = FindConsoleUser();  // whose browser settings the engine prepares
  CInstallerDlg dialog(std::move(environment));
  return SUCCEEDED(dialog.DoModal(instance)) ? 0 : 1;
}
