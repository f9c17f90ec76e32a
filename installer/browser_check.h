#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class CCatalog;
class CWideStringList;
class IUserPrompt;

// Lists the modules loaded in a process: the seam through which tests choose what a browser
// process appears to hold. Same contract as CModuleEnumerator::EnumModules.
class IModuleLister {
 public:
  virtual ~IModuleLister() = default;
  virtual bool EnumModules(DWORD processId, CWideStringList& list) = 0;
};

// The real lister: a fresh CModuleEnumerator for every process looked at.
IModuleLister& SystemModuleLister();

// Before an installation replaces components, closes every Internet Explorer frame whose process
// has loaded the module of a component whose CAB is present, asking the user first while
// confirmClose is set.
class CBrowserCheck {
 public:
  // confirmClose belongs to the dialog: the first Yes clears it for the rest of the program's
  // life, a No leaves it set. caption and question are the message box's texts; owner may be null.
  CBrowserCheck(const CCatalog& catalog, bool& confirmClose, IUserPrompt& prompt, HWND owner,
                std::wstring caption, std::wstring question, IModuleLister* modules = nullptr);

  // Checks every top-level window; false when the user declined to close a browser, in which
  // case the windows after it were not looked at.
  bool Run();

  // Checks one window, closing it when it is a browser frame holding a catalog module. False
  // only when the user declined.
  bool CheckWindow(HWND window);

  static constexpr wchar_t kFrameClass[] = L"IEFrame";
  static constexpr int kCloseWaitSteps = 100;
  static constexpr DWORD kCloseWaitStepMs = 10;

 private:
  static BOOL CALLBACK CheckEach(HWND window, LPARAM self);
  bool HoldsCatalogModule(const CWideStringList& paths) const;
  static void WaitPumping();

  const CCatalog& catalog_;
  bool& confirmClose_;
  IUserPrompt& prompt_;
  HWND owner_;
  std::wstring caption_;
  std::wstring question_;
  IModuleLister& modules_;
  // The outside chart control's module, matched only while some catalog CAB is present.
  std::wstring chartControlModule_;
  bool declined_ = false;
};
