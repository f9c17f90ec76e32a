#include "tools/axrun/axrun_session.h"

#include <filesystem>

#include "common/scoped_owner.h"
#include "common/text_conversion.h"
#include "common/win_error.h"
#include "tools/axrun/console.h"
#include "tools/control_host/error_text.h"
#include "tools/control_host/folder_url.h"

using Microsoft::WRL::ComPtr;

namespace {

// How long messages flow after the global code, for what it started to settle.
constexpr DWORD kSettleMilliseconds = 100;

// A script far larger than any test page is refused rather than read.
constexpr LONGLONG kMaxScriptBytes = 16 * 1024 * 1024;

// Script text: UTF-16 with its byte order mark, else UTF-8 (a mark, if any, dropped).
std::wstring DecodeScript(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  }
  const bool marked = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  return Utf8ToWide(std::string_view(bytes).substr(marked ? 3 : 0));
}

}  // namespace

int CAxrunSession::Run() {
  if (!ReadScript() || !PreparePage()) return CRunState::kCannotRun;
  host_.SetBindHost(options_.bindHost);
  host_.SetItemName(options_.itemName);
  for (const auto& [name, value] : options_.params) host_.SetParam(name, value);
  host_.SetRecordEvents(false);
  host_.SetEventHandler(
      [this](const FiredEvent& event, ScopedVariant& answer) { OnEvent(event, answer); });

  if (FAILED(host_.Create(options_.control))) {
    PrintErrorLine(L"axrun: " + host_.Error());
    return CRunState::kCannotRun;
  }
  if (!options_.params.empty() &&
      host_.HowInitialized() != CControlHost::Initialization::kPropertyBagLoad) {
    PrintErrorLine(
        L"axrun: the object has no IPersistPropertyBag; its name=value pairs are unread");
  }
  if (host_.IsControl() && !options_.defer && FAILED(host_.Activate())) {
    PrintErrorLine(L"axrun: " + host_.Error());
    host_.Close();
    return CRunState::kCannotRun;
  }
  if (!options_.script.empty() && !StartScript()) {
    if (script_) script_->Close();
    host_.Close();
    return CRunState::kCannotRun;
  }
  if (script_) {
    scriptRunning_ = true;
    const HRESULT result = script_->Run(code_);
    // An error the engine kept to itself still fails the run.
    if (FAILED(result) && !state_.Ending()) {
      OnScriptError({0, L"the script did not run: " + DescribeResult(result), result});
    }
  }
  return Finish();
}

bool CAxrunSession::ReadScript() {
  if (options_.script.empty()) return true;
  ScopedFile file(::CreateFileW(options_.script.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  HRESULT result = S_OK;
  if (!file || !::GetFileSizeEx(file.Get(), &size)) {
    result = HResultFromLastError();
  } else if (size.QuadPart > kMaxScriptBytes) {
    result = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
  }
  std::string bytes(static_cast<size_t>(SUCCEEDED(result) ? size.QuadPart : 0), '\0');
  DWORD read = 0;
  if (SUCCEEDED(result) && !bytes.empty() &&
      (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
       read != bytes.size())) {
    result = HResultFromLastError();
  }
  if (FAILED(result)) {
    PrintErrorLine(L"axrun: cannot read the script " + options_.script + L": " +
                   DescribeResult(result));
    return false;
  }
  code_ = DecodeScript(bytes);
  return true;
}

bool CAxrunSession::PreparePage() {
  std::wstring page = options_.pageUrl;
  if (page.empty()) {
    const std::wstring folder =
        options_.script.empty() ? std::wstring(L".")
                                : std::filesystem::path(options_.script).parent_path().wstring();
    const HRESULT result = FolderUrl(folder.empty() ? L"." : folder, &page);
    if (FAILED(result)) {
      PrintErrorLine(L"axrun: cannot make a page URL of the folder " + folder + L": " +
                     DescribeResult(result));
      return false;
    }
  }
  host_.SetPageUrl(page);
  return true;
}

bool CAxrunSession::StartScript() {
  script_ = MakeComObject<CScriptHost>([this](const ScriptError& error) { OnScriptError(error); });
  HRESULT result = script_->Start();
  if (FAILED(result)) {
    PrintErrorLine(L"axrun: cannot start JScript: " + DescribeResult(result));
    return false;
  }
  // The control's events are the script's to handle: a source item, as a page's OBJECT is.
  result = script_->AddItem(options_.itemName, host_.Object(), host_.ClassInfo(),
                            SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE);
  if (FAILED(result)) {
    PrintErrorLine(L"axrun: cannot name the control " + options_.itemName + L" in the script: " +
                   DescribeResult(result));
    return false;
  }
  auto axrun = MakeComObject<CAxrunObject>(state_, host_, boxes_);
  ComPtr<ITypeInfo> axrun_info;
  result = GetModuleTypeInfo(CLSID_AxrunHost, &axrun_info);
  if (SUCCEEDED(result)) {
    result = script_->AddItem(L"axrun", axrun.Get(), axrun_info.Get(), SCRIPTITEM_ISVISIBLE);
  }
  if (FAILED(result)) {
    PrintErrorLine(L"axrun: cannot name axrun in the script: " + DescribeResult(result));
    return false;
  }
  script_->SetWindow(host_.Window());
  return true;
}

void CAxrunSession::OnEvent(const FiredEvent& event, ScopedVariant& answer) {
  if (!scriptRunning_ || state_.Ending()) return;
  // A page without a handler for the event simply has none: S_FALSE, nothing said and nothing
  // answered. What a handler returns is the event's answer, as a page's script gives it.
  (void)script_->Call(options_.itemName + L"_" + event.name, event.arguments, &answer);
}

void CAxrunSession::OnScriptError(const ScriptError& error) {
  if (state_.Ending()) return;  // the first error ends the run; Quit stops the script by one
  std::wstring where = options_.script;
  if (error.line != 0) where += L":" + std::to_wstring(error.line);
  PrintErrorLine(where + L": " + error.message + L" (" + DescribeResult(error.code) + L")");
  state_.ScriptError();
}

int CAxrunSession::Finish() {
  if (!state_.Ending()) host_.Pump(kSettleMilliseconds, [this] { return state_.Ending(); });
  scriptRunning_ = false;
  if (script_) script_->Close();
  script_.Reset();
  host_.Close();
  return state_.ExitCode();
}
