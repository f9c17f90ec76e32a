#include "installer/browser_check.h"

#include <cwchar>

#include "common/text_compare.h"
#include "common/user_prompt.h"
#include "common/window/nested_message_loop.h"
#include "installer/catalog.h"
#include "installer/core/catalog_table.h"
#include "installer/module_enumerator.h"
#include "installer/wide_string_list.h"

namespace {

class SystemLister final : public IModuleLister {
 public:
  bool EnumModules(DWORD processId, CWideStringList& list) override {
    // Fresh per process: the enumerator holds its system library only while it is used.
    CModuleEnumerator enumerator;
    return enumerator.EnumModules(processId, list);
  }
};

}  // namespace

IModuleLister& SystemModuleLister() {
  static SystemLister lister;
  return lister;
}

CBrowserCheck::CBrowserCheck(const CCatalog& catalog, bool& confirmClose, IUserPrompt& prompt,
                             HWND owner, std::wstring caption, std::wstring question,
                             IModuleLister* modules, std::function<bool()> stopWhen)
    : catalog_(catalog),
      confirmClose_(confirmClose),
      prompt_(prompt),
      owner_(owner),
      caption_(std::move(caption)),
      question_(std::move(question)),
      modules_(modules ? *modules : SystemModuleLister()),
      stopWhen_(std::move(stopWhen)),
      chartControlModule_(ChartControlName()) {}

CBrowserCheck::Outcome CBrowserCheck::Run() {
  outcome_ = Outcome::kDone;
  // EnumWindows' own result cannot tell a refusal from a failure; outcome_ can.
  ::EnumWindows(CheckEach, reinterpret_cast<LPARAM>(this));
  return outcome_;
}

BOOL CALLBACK CBrowserCheck::CheckEach(HWND window, LPARAM self) {
  return reinterpret_cast<CBrowserCheck*>(self)->CheckWindow(window) ? TRUE : FALSE;
}

bool CBrowserCheck::CheckWindow(HWND window) {
  wchar_t className[128] = {};
  ::GetClassNameW(window, className, 128);
  if (std::wcscmp(className, kFrameClass) != 0)
    return true;  // the class name is case-sensitive here

  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  if (processId == 0) return true;

  CWideStringList paths;
  if (!modules_.EnumModules(processId, paths)) return true;  // not listable: left open
  if (!HoldsCatalogModule(paths)) return true;

  if (confirmClose_) {
    confirmClose_ = false;
    if (prompt_.Show(owner_, question_, caption_, MB_YESNO) == IDNO) {
      confirmClose_ = true;  // the next run asks again
      outcome_ = Outcome::kDeclined;
      return false;
    }
  }

  ::PostMessageW(window, WM_CLOSE, 0, 0);
  // Whether the window really goes is not followed up: one second is all it gets.
  if (WaitPumping()) return true;
  outcome_ = Outcome::kStopped;
  return false;
}

bool CBrowserCheck::HoldsCatalogModule(const CWideStringList& paths) const {
  for (size_t row = 0; row < catalog_.Size(); ++row) {
    const CatalogEntry& entry = catalog_.Row(row);
    if (!entry.cabPresent) continue;
    // The chart control is tried with every present row, so it counts only when some CAB does.
    for (size_t i = 0; i < paths.Count(); ++i) {
      const wchar_t* path = paths.Get(i);
      if (path == nullptr) continue;
      if (ContainsNoCase(path, entry.moduleName) ||
          (!chartControlModule_.empty() && ContainsNoCase(path, chartControlModule_))) {
        return true;
      }
    }
  }
  return false;
}

bool CBrowserCheck::WaitPumping() {
  // Keeps the dialog painted and responsive while the browser shuts down: at most one message a
  // step, handled as the dialog's own loop would, so that Escape cancels here too.
  CNestedMessageLoop messages;
  for (int step = 0; step < kCloseWaitSteps; ++step) {
    if (!messages.HandleOne() || (stopWhen_ && stopWhen_())) return false;
    ::Sleep(kCloseWaitStepMs);
  }
  return true;
}
