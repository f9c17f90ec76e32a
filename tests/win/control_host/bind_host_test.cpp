// The bind host: names resolved against the page's URL, bindings run by urlmon.
#include "tools/control_host/bind_host.h"

#include <gtest/gtest.h>

#include <urlmon.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/scoped_owner.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"
#include "tools/control_host/folder_url.h"
#include "tools/control_host/message_pump.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring DisplayName(IMoniker* moniker) {
  ComPtr<IBindCtx> context;
  if (FAILED(::CreateBindCtx(0, &context))) return L"(no bind context)";
  ScopedCoTaskMem name;
  if (FAILED(moniker->GetDisplayName(context.Get(), nullptr,
                                     reinterpret_cast<LPOLESTR*>(name.Receive())))) {
    return L"(no name)";
  }
  return static_cast<const wchar_t*>(name.Get());
}

// A download's callback that logs what urlmon calls and asks for a synchronous or an
// asynchronous binding; in the latter it keeps the data it is given.
class RecordingCallback final : public CComObject<IBindStatusCallback> {
 public:
  explicit RecordingCallback(bool asynchronous) : asynchronous_(asynchronous) {}

  const std::vector<std::string>& Calls() const { return calls_; }
  const std::string& Data() const { return data_; }
  bool Stopped() const { return stopped_; }
  HRESULT StopResult() const { return stopResult_; }
  IUnknown* Object() const { return object_.Get(); }

  STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override {
    calls_.push_back(binding ? "OnStartBinding" : "OnStartBinding(null)");
    return S_OK;
  }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override {
    calls_.push_back("OnProgress");
    return S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR) override {
    calls_.push_back("OnStopBinding");
    stopped_ = true;
    stopResult_ = result;
    return S_OK;
  }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    calls_.push_back("GetBindInfo");
    if (flags == nullptr || info == nullptr) return E_POINTER;
    *flags = asynchronous_ ? BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA : 0;
    const ULONG size = info->cbSize;
    std::memset(info, 0, size);
    info->cbSize = size;
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
    calls_.push_back("OnDataAvailable");
    // A synchronous binding's stream is the caller's to read, once BindToStorage returns it.
    if (!asynchronous_ || medium == nullptr || medium->tymed != TYMED_ISTREAM) return S_OK;
    char buffer[256];
    ULONG read = 0;
    while (SUCCEEDED(medium->pstm->Read(buffer, sizeof(buffer), &read)) && read > 0) {
      data_.append(buffer, read);
    }
    return S_OK;
  }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown* object) override {
    calls_.push_back("OnObjectAvailable");
    object_ = object;
    return S_OK;
  }

 private:
  ~RecordingCallback() override = default;

  bool asynchronous_;
  std::vector<std::string> calls_;
  std::string data_;
  bool stopped_ = false;
  HRESULT stopResult_ = S_OK;
  ComPtr<IUnknown> object_;
};

// The names resolved against page, by display name.
std::vector<std::wstring> Resolve(const wchar_t* page, std::vector<const wchar_t*> names) {
  ComPtr<CBindHost> host;
  EXPECT_EQ(CBindHost::Create(page, host), S_OK);
  std::vector<std::wstring> resolved;
  if (!host) return resolved;
  for (const wchar_t* name : names) {
    ComPtr<IMoniker> moniker;
    const HRESULT result = host->CreateMoniker(const_cast<LPOLESTR>(name), nullptr, &moniker, 0);
    resolved.push_back(SUCCEEDED(result) ? DisplayName(moniker.Get()) : L"(failed)");
  }
  return resolved;
}

TEST(BindHost, ResolvesNamesAgainstAnHttpPage) {
  EXPECT_EQ(Resolve(L"http://server/app/page.html",
                    {L".", L"sub/x.xml", L"x.xml", L"../up.txt", L"/root.xml",
                     L"http://other/abs.xml", L"file:///C:/abs.txt"}),
            (std::vector<std::wstring>{L"http://server/app/", L"http://server/app/sub/x.xml",
                                       L"http://server/app/x.xml", L"http://server/up.txt",
                                       L"http://server/root.xml", L"http://other/abs.xml",
                                       L"file:///C:/abs.txt"}));
}

TEST(BindHost, ResolvesNamesAgainstAFilePage) {
  EXPECT_EQ(
      Resolve(L"file:///C:/pages/app/page.html",
              {L".", L"data/x.xml", L"../up.txt", L"with space.xml", L"http://other/a.xml"}),
      (std::vector<std::wstring>{L"file:///C:/pages/app/", L"file:///C:/pages/app/data/x.xml",
                                 L"file:///C:/pages/up.txt",
                                 L"file:///C:/pages/app/with%20space.xml", L"http://other/a.xml"}));
  // A folder's URL from FolderUrl resolves inside the folder.
  std::wstring folder;
  ASSERT_EQ(FolderUrl(L"C:\\pages\\app", &folder), S_OK);
  EXPECT_EQ(folder, L"file:///C:/pages/app/");
  EXPECT_EQ(Resolve(folder.c_str(), {L"x.xml"}),
            (std::vector<std::wstring>{L"file:///C:/pages/app/x.xml"}));
}

TEST(BindHost, KeepsItsPageAndRefusesBadArguments) {
  ComPtr<CBindHost> host;
  ASSERT_EQ(CBindHost::Create(L"http://server/app/page.html", host), S_OK);
  EXPECT_EQ(host->PageUrl(), L"http://server/app/page.html");
  EXPECT_EQ(DisplayName(host->PageMoniker()), L"http://server/app/page.html");

  // A page needs a scheme: every relative name would resolve to nonsense otherwise.
  for (const wchar_t* page : {L"", L"page.html", L"C:\\pages\\page.html", L"/pages/page.html"}) {
    ComPtr<CBindHost> untouched = host;
    EXPECT_EQ(CBindHost::Create(page, untouched), E_INVALIDARG) << testing::PrintToString(page);
    EXPECT_EQ(untouched, host);
  }

  IMoniker* moniker = reinterpret_cast<IMoniker*>(0xdeadbeef);
  EXPECT_EQ(host->CreateMoniker(nullptr, nullptr, &moniker, 0), E_INVALIDARG);
  EXPECT_EQ(moniker, nullptr);
  EXPECT_EQ(host->CreateMoniker(const_cast<LPOLESTR>(L"x"), nullptr, nullptr, 0), E_POINTER);
  void* object = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(host->MonikerBindToStorage(nullptr, nullptr, nullptr, IID_IStream, &object),
            E_INVALIDARG);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(host->MonikerBindToObject(nullptr, nullptr, nullptr, IID_IUnknown, &object),
            E_INVALIDARG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(host->MonikerBindToStorage(host->PageMoniker(), nullptr, nullptr, IID_IStream, nullptr),
            E_POINTER);
}

class BindHostDownload : public testing::Test {
 protected:
  void SetUp() override {
    const std::string text = "<update version=\"1.2\"/>";
    ScopedFile file(::CreateFileW((folder_ / L"data file.xml").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    std::wstring folder_url;
    ASSERT_EQ(FolderUrl(folder_.Path().wstring(), &folder_url), S_OK);
    ASSERT_EQ(CBindHost::Create(folder_url + L"page.html", host_), S_OK);
    ASSERT_EQ(host_->CreateMoniker(const_cast<LPOLESTR>(L"data file.xml"), nullptr, &moniker_, 0),
              S_OK);
  }

  // Messages flow until the callback hears the end, or for at most five seconds.
  void WaitFor(RecordingCallback* callback) {
    PumpMessages(5000, [callback] { return callback->Stopped(); });
  }

  TempFolder folder_{L"kovira bind host"};
  ComPtr<CBindHost> host_;
  ComPtr<IMoniker> moniker_;
};

TEST_F(BindHostDownload, SynchronousBindingReadsTheFileThroughUrlmon) {
  auto callback = MakeComObject<RecordingCallback>(false);
  ComPtr<IStream> stream;
  ASSERT_EQ(
      host_->MonikerBindToStorage(moniker_.Get(), nullptr, callback.Get(), IID_PPV_ARGS(&stream)),
      S_OK);
  ASSERT_TRUE(stream);
  char buffer[64] = {};
  ULONG read = 0;
  ASSERT_TRUE(SUCCEEDED(stream->Read(buffer, sizeof(buffer) - 1, &read)));  // S_FALSE: all read
  EXPECT_STREQ(buffer, "<update version=\"1.2\"/>");
  WaitFor(callback.Get());
  const auto& calls = callback->Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "GetBindInfo");
  EXPECT_NE(std::find(calls.begin(), calls.end(), "OnStartBinding"), calls.end());
  EXPECT_EQ(calls.back(), "OnStopBinding");
  EXPECT_EQ(callback->StopResult(), S_OK);
  stream.Reset();
  EXPECT_EQ(ReferenceCount(callback.Get()), 1u);  // urlmon let the callback go
}

TEST_F(BindHostDownload, AsynchronousBindingDeliversTheDataToTheCallback) {
  auto callback = MakeComObject<RecordingCallback>(true);
  ComPtr<IBindCtx> context;
  ASSERT_EQ(::CreateBindCtx(0, &context), S_OK);
  ComPtr<IStream> stream;
  const HRESULT result = host_->MonikerBindToStorage(moniker_.Get(), context.Get(), callback.Get(),
                                                     IID_PPV_ARGS(&stream));
  // Windows answers MK_S_ASYNCHRONOUS; Wine finishes a file: binding before it returns.
  EXPECT_TRUE(result == MK_S_ASYNCHRONOUS || result == S_OK) << std::hex << result;
  WaitFor(callback.Get());
  ASSERT_TRUE(callback->Stopped());
  EXPECT_EQ(callback->StopResult(), S_OK);
  EXPECT_EQ(callback->Data(), "<update version=\"1.2\"/>");
  const auto& calls = callback->Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "GetBindInfo");
  const auto start = std::find(calls.begin(), calls.end(), "OnStartBinding");
  const auto data = std::find(calls.begin(), calls.end(), "OnDataAvailable");
  EXPECT_LT(start, data);
  EXPECT_NE(data, calls.end());
  EXPECT_EQ(calls.back(), "OnStopBinding");
  stream.Reset();
  context.Reset();
  EXPECT_EQ(ReferenceCount(callback.Get()), 1u);
}

TEST_F(BindHostDownload, MissingFileEndsTheBindingWithAnError) {
  ComPtr<IMoniker> missing;
  ASSERT_EQ(host_->CreateMoniker(const_cast<LPOLESTR>(L"missing.xml"), nullptr, &missing, 0), S_OK);
  auto callback = MakeComObject<RecordingCallback>(true);
  ComPtr<IStream> stream;
  const HRESULT result =
      host_->MonikerBindToStorage(missing.Get(), nullptr, callback.Get(), IID_PPV_ARGS(&stream));
  if (result == MK_S_ASYNCHRONOUS) WaitFor(callback.Get());
  EXPECT_TRUE(FAILED(result) || FAILED(callback->StopResult())) << std::hex << result;
  EXPECT_EQ(callback->Data(), "");
  EXPECT_EQ(stream, nullptr);
}

TEST_F(BindHostDownload, BindToObjectRunsThroughUrlmonAndTheCallback) {
  // No class handles this file's type: urlmon downloads it, then has nothing to make. How it
  // ends differs (Wine fails a known type without a class, and stops an unknown one quietly);
  // what counts is that the binding ran through the callback.
  ScopedFile file(::CreateFileW((folder_ / L"unknown.kvr").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file);
  file.Reset();
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(host_->CreateMoniker(const_cast<LPOLESTR>(L"unknown.kvr"), nullptr, &moniker, 0), S_OK);
  auto callback = MakeComObject<RecordingCallback>(true);
  ComPtr<IUnknown> object;
  const HRESULT result =
      host_->MonikerBindToObject(moniker.Get(), nullptr, callback.Get(), IID_PPV_ARGS(&object));
  if (result == MK_S_ASYNCHRONOUS) WaitFor(callback.Get());
  EXPECT_TRUE(callback->Stopped()) << std::hex << result;
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(callback->Object(), nullptr);
  const auto& calls = callback->Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "GetBindInfo");
  EXPECT_NE(std::find(calls.begin(), calls.end(), "OnStartBinding"), calls.end());
  EXPECT_EQ(calls.back(), "OnStopBinding");
}

}  // namespace
