#pragma once

#include <windows.h>

#include <functional>
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
  enum class Outcome {
    kDone,      // every window was looked at
    kDeclined,  // the user kept a browser open; the windows after it were not looked at
    kStopped,  // stopped while a frame was closing: asked to by stopWhen, or the thread is quitting
  };

  // confirmClose belongs to the dialog: the first Yes clears it for the rest of the program's
  // life, a No leaves it set. caption and question are the message box's texts; owner may be null.
  // stopWhen, when given, is asked while a closing frame is waited for (Cancel was pressed, say).
  CBrowserCheck(const CCatalog& catalog, bool& confirmClose, IUserPrompt& prompt, HWND owner,
                std::wstring caption, std::wstring question, IModuleLister* modules = nullptr,
                std::function<bool()> stopWhen = nullptr);

  // Checks every top-level window.
  Outcome Run();

  // Checks one window, closing it when it is a browser frame holding a catalog module. False
  // when the check is to go no further (declined or stopped).
  bool CheckWindow(HWND window);

  static constexpr wchar_t kFrameClass[] = L"IEFrame";
  static constexpr int kCloseWaitSteps = 100;
  static constexpr DWORD kCloseWaitStepMs = 10;

 private:
  static BOOL CALLBACK CheckEach(HWND window, LPARAM self);
  bool HoldsCatalogModule(const CWideStringList& paths) const;
  // False when the wait was cut short.
  bool WaitPumping();

  const CCatalog& catalog_;
  bool& confirmClose_;
  IUserPrompt& prompt_;
  HWND owner_;
  std::wstring caption_;
  std::wstring question_;
  IModuleLister& modules_;
  std::function<bool()> stopWhen_;
  // The outside chart control's module, matched only while some catalog CAB is present.
  std::wstring chartControlModule_;
  Outcome outcome_ = Outcome::kDone;
};
