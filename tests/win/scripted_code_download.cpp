#include "tests/win/scripted_code_download.h"

#include <cwctype>

#include "common/com_object.h"

namespace {

constexpr UINT kPlayStep = WM_APP + 1;

class CStubFactory final : public CComObject<IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** object) override {
    if (object) *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring Hex(HRESULT hr) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace

Microsoft::WRL::ComPtr<IClassFactory> MakeStubClassFactory();

struct CScriptedCodeDownload::Binding {
  class CBinding final : public CComObject<IBinding> {
   public:
    explicit CBinding(CScriptedCodeDownload& owner) : owner_(&owner) {}
    void Detach() { owner_ = nullptr; }
    STDMETHODIMP Abort() override {
      if (owner_ == nullptr || owner_->active_ == nullptr) return E_FAIL;  // already ended
      ++owner_->abortCount_;
      owner_->active_->aborted = true;
      return S_OK;
    }
    STDMETHODIMP Suspend() override { return E_NOTIMPL; }
    STDMETHODIMP Resume() override { return E_NOTIMPL; }
    STDMETHODIMP SetPriority(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetBindResult(CLSID*, DWORD*, LPOLESTR*, DWORD*) override { return E_NOTIMPL; }

   private:
    CScriptedCodeDownload* owner_;
  };

  Microsoft::WRL::ComPtr<IBindStatusCallback> callback;
  Microsoft::WRL::ComPtr<CBinding> binding;
  std::vector<BindStep> steps;
  size_t next = 0;
  bool aborted = false;
  bool stopped = false;
};

CScriptedCodeDownload::CScriptedCodeDownload() : default_(InstallsScript()) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ScriptedCodeDownload";
  ::RegisterClassW(&wc);  // a second registration fails harmlessly
  window_.Reset(::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr));
  ::SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CScriptedCodeDownload::~CScriptedCodeDownload() {
  if (active_ && active_->binding) active_->binding->Detach();
}

void CScriptedCodeDownload::SetScript(const std::wstring& fileName, BindScript script) {
  scripts_[Lower(fileName)] = std::move(script);
}

void CScriptedCodeDownload::Log(const std::wstring& call, HRESULT result) {
  calls_.push_back(call + L" -> " + Hex(result));
}

HRESULT CScriptedCodeDownload::GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeBase,
                                                     DWORD versionMS, DWORD versionLS, LPCWSTR,
                                                     IBindCtx* context, DWORD classContext,
                                                     REFIID riid, void** object) {
  if (object) *object = nullptr;
  const std::wstring base = codeBase ? codeBase : L"";
  Microsoft::WRL::ComPtr<IBindStatusCallback> callback;
  (void)GetRegisteredBindStatusCallback(context, &callback);
  BIND_OPTS options{};
  options.cbStruct = sizeof(options);
  if (context) (void)context->GetBindOptions(&options);
  requests_.push_back(
      {clsid, base, versionMS, versionLS, classContext, options.grfFlags, callback != nullptr});

  const size_t slash = base.find_last_of(L"\\/");
  const auto found =
      scripts_.find(Lower(slash == std::wstring::npos ? base : base.substr(slash + 1)));
  const BindScript& script = found != scripts_.end() ? found->second : default_;

  if (script.immediate == S_OK) {
    return MakeStubClassFactory()->QueryInterface(riid, object);
  }
  if (script.immediate != MK_S_ASYNCHRONOUS) return script.immediate;
  if (!callback) return E_INVALIDARG;
  if (active_) {
    calls_.push_back(L"ERROR: a second binding while one is in progress");
    return E_UNEXPECTED;
  }
  active_ = std::make_unique<Binding>();
  active_->callback = callback;
  active_->binding = MakeComObject<Binding::CBinding>(*this);
  active_->steps = script.steps;
  ::PostMessageW(window_.Get(), kPlayStep, 0, 0);
  return MK_S_ASYNCHRONOUS;
}

void CScriptedCodeDownload::PlayNextStep() {
  if (!active_) return;
  Binding& b = *active_;
  // An aborted binding ends at its next step, as the real one does.
  if (b.aborted && !b.stopped) {
    b.stopped = true;
    Log(L"OnStopBinding(0x80004004)", b.callback->OnStopBinding(E_ABORT, nullptr));
    while (b.next < b.steps.size() && b.steps[b.next].kind != BindStep::Kind::kAction) ++b.next;
  } else if (b.next < b.steps.size()) {
    const BindStep& step = b.steps[b.next++];
    switch (step.kind) {
      case BindStep::Kind::kBindInfo: {
        DWORD flags = 0;
        BINDINFO info{};
        info.cbSize = sizeof(info);
        Log(L"GetBindInfo", b.callback->GetBindInfo(&flags, &info));
        break;
      }
      case BindStep::Kind::kStart:
        Log(L"OnStartBinding", b.callback->OnStartBinding(0, b.binding.Get()));
        break;
      case BindStep::Kind::kProgress:
        Log(L"OnProgress(" + std::to_wstring(step.status) + L"," + step.text + L")",
            b.callback->OnProgress(0, 0, step.status, step.hasText ? step.text.c_str() : nullptr));
        break;
      case BindStep::Kind::kObject: {
        const auto factory = MakeStubClassFactory();
        Log(L"OnObjectAvailable",
            b.callback->OnObjectAvailable(step.iid, step.nullObject ? nullptr : factory.Get()));
        break;
      }
      case BindStep::Kind::kStop:
        b.stopped = true;
        Log(L"OnStopBinding(" + Hex(step.result) + L")",
            b.callback->OnStopBinding(step.result, nullptr));
        break;
      case BindStep::Kind::kAction:
        step.action(b.callback.Get());
        break;
    }
  }
  if (!active_) return;  // an action may have destroyed everything
  if (active_->next < active_->steps.size() || (active_->aborted && !active_->stopped)) {
    ::PostMessageW(window_.Get(), kPlayStep, 0, 0);
  } else if (active_->stopped) {
    active_->binding->Detach();
    active_.reset();
  }
}

LRESULT CALLBACK CScriptedCodeDownload::WindowProc(HWND hwnd, UINT msg, WPARAM wParam,
                                                   LPARAM lParam) {
  if (msg == kPlayStep) {
    auto* self = reinterpret_cast<CScriptedCodeDownload*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) self->PlayNextStep();
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

Microsoft::WRL::ComPtr<IClassFactory> MakeStubClassFactory() {
  return MakeComObject<CStubFactory>();
}

BindScript InstallsScript() {
  return {MK_S_ASYNCHRONOUS,
          {BindStep::BindInfo(), BindStep::Start(),
           BindStep::Progress(BINDSTATUS_FINDINGRESOURCE, L"x.cab"),
           BindStep::Progress(BINDSTATUS_BEGINDOWNLOADDATA),
           BindStep::Progress(BINDSTATUS_ENDDOWNLOADDATA),
           BindStep::Progress(BINDSTATUS_BEGINDOWNLOADCOMPONENTS, L"Component"),
           BindStep::Progress(BINDSTATUS_INSTALLINGCOMPONENTS, L"Component"),
           BindStep::Progress(BINDSTATUS_ENDDOWNLOADCOMPONENTS, L"Component"), BindStep::Object(),
           BindStep::Stop(S_OK)}};
}

BindScript FailsScript(HRESULT result) {
  return {MK_S_ASYNCHRONOUS,
          {BindStep::BindInfo(), BindStep::Start(),
           BindStep::Progress(BINDSTATUS_FINDINGRESOURCE, L"x.cab"),
           BindStep::Progress(BINDSTATUS_BEGINDOWNLOADDATA), BindStep::Stop(result)}};
}
