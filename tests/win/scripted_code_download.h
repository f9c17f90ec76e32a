#pragma once

#include <windows.h>

#include <urlmon.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/scoped_owner.h"
#include "platform/code_download.h"
#include "tests/win/pump_until.h"

// One notification (or test action) of a scripted binding.
struct BindStep {
  enum class Kind { kBindInfo, kStart, kProgress, kObject, kStop, kAction };
  Kind kind = Kind::kProgress;
  ULONG status = 0;
  std::wstring text;
  bool hasText = true;
  IID iid = IID_IClassFactory;
  bool nullObject = false;
  HRESULT result = S_OK;
  std::function<void(IBindStatusCallback*)> action;

  static BindStep BindInfo() { return {Kind::kBindInfo}; }
  static BindStep Start() { return {Kind::kStart}; }
  static BindStep Progress(ULONG status, std::wstring text = L"") {
    BindStep step{Kind::kProgress, status, std::move(text)};
    return step;
  }
  static BindStep ProgressNoText(ULONG status) {
    BindStep step{Kind::kProgress, status};
    step.hasText = false;
    return step;
  }
  static BindStep Object(REFIID iid = IID_IClassFactory, bool nullObject = false) {
    BindStep step{Kind::kObject};
    step.iid = iid;
    step.nullObject = nullObject;
    return step;
  }
  static BindStep Stop(HRESULT result = S_OK) {
    BindStep step{Kind::kStop};
    step.result = result;
    return step;
  }
  static BindStep Action(std::function<void(IBindStatusCallback*)> action) {
    BindStep step{Kind::kAction};
    step.action = std::move(action);
    return step;
  }
};

// What a request answers at once, and the notifications that follow an asynchronous answer.
struct BindScript {
  HRESULT immediate = MK_S_ASYNCHRONOUS;
  std::vector<BindStep> steps;
};

// The usual successful installation: start, a few statuses, the object, the end.
BindScript InstallsScript();
// A binding that ends without an object.
BindScript FailsScript(HRESULT result = E_FAIL);

// A stand-in for the code-download service that plays scripted notification sequences on the
// calling thread, one per posted message, as the real service delivers them through the
// caller's message loop. IBinding::Abort ends the binding: the next step becomes
// OnStopBinding(E_ABORT). Steps after the stop (actions only) still run.
class CScriptedCodeDownload final : public ICodeDownloadService {
 public:
  struct Request {
    CLSID clsid;
    std::wstring codeBase;
    DWORD versionMS;
    DWORD versionLS;
    DWORD classContext;
    DWORD bindFlags;  // of the bind context
    bool hadCallback;
  };

  CScriptedCodeDownload();
  ~CScriptedCodeDownload() override;

  // The script for code bases ending in the given file name (compared ignoring case).
  void SetScript(const std::wstring& fileName, BindScript script);
  void SetDefaultScript(BindScript script) { default_ = std::move(script); }

  const std::vector<Request>& Requests() const { return requests_; }
  // "method(argument) -> result" for each callback made, in order.
  const std::vector<std::wstring>& Calls() const { return calls_; }
  bool BindingActive() const { return active_ != nullptr; }
  int AbortCount() const { return abortCount_; }

  HRESULT GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeBase, DWORD versionMS, DWORD versionLS,
                                LPCWSTR contentType, IBindCtx* context, DWORD classContext,
                                REFIID riid, void** object) override;

 private:
  struct Binding;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void PlayNextStep();
  void Log(const std::wstring& call, HRESULT result);

  ScopedWindow window_;
  std::map<std::wstring, BindScript> scripts_;
  BindScript default_;
  std::vector<Request> requests_;
  std::vector<std::wstring> calls_;
  std::unique_ptr<Binding> active_;
  int abortCount_ = 0;
};

// A class factory that creates nothing, as the scripted service hands out.
Microsoft::WRL::ComPtr<IClassFactory> MakeStubClassFactory();
