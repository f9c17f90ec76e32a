// The bind-status reader, driven step by step through a scripted bind host, moniker, binding and
// stream, and end to end through urlmon on file: URLs.
#include "common/bind/bind_status_reader.h"

#include <gtest/gtest.h>

#include <urlmon.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/scoped_owner.h"
#include "tests/win/pump_until.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"

using Microsoft::WRL::ComPtr;

namespace {

using Log = std::vector<std::string>;

std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

class RecordingOwner final : public IBindStatusOwner {
 public:
  HRESULT OnBindProgress(ULONG progress, ULONG max, ULONG status, const wchar_t* text) override {
    log.push_back("progress " + std::to_string(progress) + "/" + std::to_string(max) + " " +
                  std::to_string(status) + (text != nullptr && *text != 0 ? " text" : ""));
    return progress_answer;
  }
  HRESULT OnBindData(const BYTE* bytes, size_t count) override {
    log.push_back("data " + std::to_string(count));
    data.append(reinterpret_cast<const char*>(bytes), count);
    return data_answer;
  }
  HRESULT OnBindObject(REFIID riid, IUnknown*) override {
    log.push_back(riid == IID_IClassFactory ? "object IClassFactory" : "object other");
    return object_answer;
  }
  void OnBindStop(HRESULT result, const std::wstring& text) override {
    log.push_back("stop " + Hex(result) + (text.empty() ? "" : " text"));
    ++stops;
  }
  HWND BindWindow() override { return window; }
  bool Stopped() const { return stops > 0; }

  Log log;
  std::string data;
  HRESULT progress_answer = S_OK, data_answer = S_OK, object_answer = S_OK;
  HWND window = nullptr;
  int stops = 0;
};

// The service's side, and what it was asked, in order.
struct Service {
  Log calls;
  ComPtr<IBindStatusCallback> callback;
  ComPtr<IStream> stream;
  ComPtr<IBinding> binding;
  HRESULT moniker_answer = S_OK;
  // Runs inside MonikerBindToStorage and gives its answer; by default the binding goes on.
  std::function<HRESULT(void** object)> on_bind = [](void**) { return MK_S_ASYNCHRONOUS; };
  bool stop_on_abort = false;  // the binding stops inside Abort, as a service may

  HRESULT Data(IStream* carried = nullptr) {
    FORMATETC format{CF_NULL, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = carried != nullptr ? carried : stream.Get();
    return callback->OnDataAvailable(BSCF_INTERMEDIATEDATANOTIFICATION, 0, &format, &medium);
  }
};

// Gives per_read bytes at most per Read, then E_PENDING until more comes, S_FALSE at the end
// (with the last bytes). Reads failing with fail_with once armed.
class FakeStream final : public CComObject<IStream> {
 public:
  FakeStream(Service& service, ULONG per_read) : service_(service), perRead_(per_read) {}
  void Add(const std::string& bytes, bool last) {
    pending_ += bytes;
    complete_ = last;
  }
  HRESULT fail_with = S_OK;

  STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override {
    EXPECT_EQ(size, CBindStatusReader::kReadChunkSize);
    if (FAILED(fail_with)) {
      service_.calls.push_back("Read " + Hex(fail_with));
      return fail_with;
    }
    const ULONG n = std::min<ULONG>({size, perRead_, static_cast<ULONG>(pending_.size())});
    std::memcpy(buffer, pending_.data(), n);
    pending_.erase(0, n);
    *read = n;
    const HRESULT result = !pending_.empty() ? S_OK : complete_ ? S_FALSE : n ? S_OK : E_PENDING;
    service_.calls.push_back("Read " + std::to_string(n) +
                             (result == S_FALSE     ? " end"
                              : result == E_PENDING ? " pending"
                                                    : ""));
    return result;
  }
  STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

 private:
  Service& service_;
  ULONG perRead_;
  std::string pending_;
  bool complete_ = false;
};

class FakeBinding final : public CComObject<IBinding> {
 public:
  explicit FakeBinding(Service& service) : service_(service) {}
  STDMETHODIMP Abort() override {
    service_.calls.push_back("Abort");
    if (service_.stop_on_abort) (void)service_.callback->OnStopBinding(E_ABORT, nullptr);
    return S_OK;
  }
  STDMETHODIMP Suspend() override { return E_NOTIMPL; }
  STDMETHODIMP Resume() override { return E_NOTIMPL; }
  STDMETHODIMP SetPriority(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP GetBindResult(CLSID*, DWORD*, LPOLESTR*, DWORD*) override { return E_NOTIMPL; }

 private:
  Service& service_;
};

// Only its identity matters: the host hands it out and expects it back.
class FakeMoniker final : public CComObject<IMoniker> {
 public:
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return E_NOTIMPL; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP BindToStorage(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP Enum(BOOL, IEnumMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP IsEqual(IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP Hash(DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
  STDMETHODIMP Inverse(IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP IsSystemMoniker(DWORD*) override { return E_NOTIMPL; }
};

class FakeBindHost final : public CComObject<IBindHost> {
 public:
  explicit FakeBindHost(Service& service) : service_(service) {}
  STDMETHODIMP CreateMoniker(LPOLESTR name, IBindCtx* context, IMoniker** moniker, DWORD) override {
    service_.calls.push_back("CreateMoniker " + std::string(name, name + std::wcslen(name)));
    context_ = context;
    if (FAILED(service_.moniker_answer)) return service_.moniker_answer;
    *moniker = moniker_.Get();
    moniker_->AddRef();
    return S_OK;
  }
  STDMETHODIMP MonikerBindToStorage(IMoniker* moniker, IBindCtx* context,
                                    IBindStatusCallback* callback, REFIID riid,
                                    void** object) override {
    service_.calls.push_back("MonikerBindToStorage");
    EXPECT_TRUE(moniker == moniker_.Get() && context == context_ && context != nullptr);
    EXPECT_EQ(riid, IID_IStream);
    *object = nullptr;
    service_.callback = callback;
    return service_.on_bind(object);
  }
  STDMETHODIMP MonikerBindToObject(IMoniker*, IBindCtx*, IBindStatusCallback*, REFIID,
                                   void**) override {
    return E_NOTIMPL;
  }

 private:
  Service& service_;
  ComPtr<FakeMoniker> moniker_ = MakeComObject<FakeMoniker>();
  IBindCtx* context_ = nullptr;
};

// One reader on a scripted service, which answers MonikerBindToStorage with MK_S_ASYNCHRONOUS
// unless told otherwise.
struct Rig {
  explicit Rig(BindStatusReaderOptions options = {}, ULONG per_read = 3) {
    stream_object = MakeComObject<FakeStream>(service, per_read);
    service.stream = stream_object;
    service.binding = MakeComObject<FakeBinding>(service);
    reader = MakeComObject<CBindStatusReader>(owner, options);
  }
  HRESULT Start() { return reader->Start(L"data/x.bin", host.Get()); }
  // Started, with the binding handed over.
  void Run() {
    ASSERT_EQ(Start(), S_OK);
    ASSERT_EQ(service.callback->OnStartBinding(0, service.binding.Get()), S_OK);
  }
  HRESULT Data(const std::string& bytes, bool last = false) {
    stream_object->Add(bytes, last);
    return service.Data();
  }

  RecordingOwner owner;
  Service service;
  ComPtr<FakeStream> stream_object;
  ComPtr<FakeBindHost> host = MakeComObject<FakeBindHost>(service);
  ComPtr<CBindStatusReader> reader;
};

TEST(BindStatusReader, BindsThroughTheHostAndAsksForAsynchronousPulledStorage) {
  for (DWORD extra : {0ul, static_cast<unsigned long>(BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE |
                                                      BINDF_RESYNCHRONIZE)}) {
    Rig rig({extra, 0});
    ASSERT_EQ(rig.Start(), S_OK);
    EXPECT_EQ(rig.service.calls, (Log{"CreateMoniker data/x.bin", "MonikerBindToStorage"}));
    ComPtr<IBindStatusCallback> as_callback;
    ASSERT_EQ(rig.reader.As(&as_callback), S_OK);
    EXPECT_EQ(rig.service.callback.Get(), as_callback.Get());

    DWORD flags = 0xdeadbeef;
    BINDINFO info;
    std::memset(&info, 0xAB, sizeof(info));
    info.cbSize = sizeof(info);
    ASSERT_EQ(rig.service.callback->GetBindInfo(&flags, &info), S_OK);
    EXPECT_EQ(flags, BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | extra);
    BINDINFO expected{};
    expected.cbSize = sizeof(expected);
    expected.dwBindVerb = BINDVERB_GET;
    EXPECT_EQ(std::memcmp(&info, &expected, sizeof(info)), 0);
    // A structure too small to hold the verb is refused and left alone.
    flags = 0xdeadbeef;
    info.cbSize = 8;
    EXPECT_EQ(rig.service.callback->GetBindInfo(&flags, &info), E_INVALIDARG);
    EXPECT_EQ(flags, 0xdeadbeefu);
    EXPECT_EQ(rig.service.callback->GetBindInfo(nullptr, &info), E_INVALIDARG);
    EXPECT_TRUE(rig.owner.log.empty());
  }
}

TEST(BindStatusReader, PassesStatusObjectsAndWindowThroughAndAnswersWithTheOwners) {
  Rig rig;
  rig.Run();
  IBindStatusCallback* callback = rig.service.callback.Get();
  rig.owner.progress_answer = E_INVALIDARG;
  rig.owner.object_answer = E_NOINTERFACE;
  rig.owner.window = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(callback->OnProgress(5, 10, BINDSTATUS_DOWNLOADINGDATA, L"x"), E_INVALIDARG);
  EXPECT_EQ(callback->OnObjectAvailable(IID_IClassFactory, rig.host.Get()), E_NOINTERFACE);
  EXPECT_EQ(callback->OnObjectAvailable(IID_IClassFactory, nullptr), E_INVALIDARG);
  ComPtr<IWindowForBindingUI> ui;
  ASSERT_EQ(callback->QueryInterface(IID_PPV_ARGS(&ui)), S_OK);
  HWND window = reinterpret_cast<HWND>(0xdeadbeef);
  EXPECT_EQ(ui->GetWindow(IID_IHttpSecurity, &window), S_OK);
  EXPECT_EQ(window, rig.owner.window);
  EXPECT_EQ(ui->GetWindow(IID_IHttpSecurity, nullptr), E_POINTER);
  LONG priority = 0;
  EXPECT_EQ(callback->GetPriority(&priority), E_NOTIMPL);
  EXPECT_EQ(callback->OnLowResource(0), E_NOTIMPL);
  EXPECT_EQ(callback->OnStopBinding(INET_E_RESOURCE_NOT_FOUND, L"Not found"), S_OK);
  EXPECT_EQ(rig.owner.log,
            (Log{"progress 5/10 5 text", "object IClassFactory", "stop 0x800C0005 text"}));
}

TEST(BindStatusReader, ReadsEverythingTheStreamHoldsAtEachNotification) {
  const ULONG chunk = CBindStatusReader::kReadChunkSize;
  struct Case {
    ULONG per_read;
    std::vector<std::string> notifications;  // the last one completes the resource
    Log reads;
    Log owner;
  };
  const Case cases[] = {
      // Several short reads for one notification, the end coming with the last bytes.
      {3,
       {"abcdefgh"},
       {"Read 3", "Read 3", "Read 2 end", "Read 0 end"},
       {"data 3", "data 3", "data 2", "stop 0x00000000"}},
      // The stream runs dry mid-resource; the next notification brings the rest.
      {4,
       {"abcdef", "gh"},
       {"Read 4", "Read 2", "Read 0 pending", "Read 2 end", "Read 0 end"},
       {"data 4", "data 2", "data 2", "stop 0x00000000"}},
      // Never more than a chunk per read.
      {chunk * 4,
       {std::string(chunk * 2 + 5, 'q')},
       {"Read 65536", "Read 65536", "Read 5 end", "Read 0 end"},
       {"data 65536", "data 65536", "data 5", "stop 0x00000000"}},
      // A resource of no bytes.
      {3, {""}, {"Read 0 end", "Read 0 end"}, {"stop 0x00000000"}},
  };
  for (const Case& c : cases) {
    Rig rig({}, c.per_read);
    rig.Run();
    std::string all;
    for (size_t i = 0; i < c.notifications.size(); ++i) {
      all += c.notifications[i];
      ASSERT_EQ(rig.Data(c.notifications[i], i + 1 == c.notifications.size()), S_OK);
    }
    EXPECT_EQ(rig.service.callback->OnStopBinding(S_OK, nullptr), S_OK);
    Log reads = rig.service.calls;
    reads.erase(reads.begin(), reads.begin() + 2);  // CreateMoniker, MonikerBindToStorage
    EXPECT_EQ(reads, c.reads) << all.size();
    EXPECT_EQ(rig.owner.log, c.owner) << all.size();
    EXPECT_EQ(rig.owner.data, all);
  }
}

TEST(BindStatusReader, KeepsTheStreamOfTheFirstNotificationThatCarriesOne) {
  Rig rig;
  rig.Run();
  ASSERT_EQ(rig.service.callback->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, 0, nullptr, nullptr),
            S_OK);
  rig.stream_object->Add("ab", false);
  auto other = MakeComObject<FakeStream>(rig.service, 3);
  other->Add("zz", true);
  ASSERT_EQ(rig.service.Data(), S_OK);
  ASSERT_EQ(rig.service.Data(other.Get()), S_OK);
  EXPECT_EQ(rig.owner.data, "ab");
}

// Start's answer, and how many stops follow, for each way a service may answer.
TEST(BindStatusReader, StartSucceedsExactlyWhenOneStopComes) {
  using Bind = std::function<HRESULT(Rig&, void**)>;
  const auto stop_inside = [](HRESULT stop, HRESULT answer, bool hand_stream) -> Bind {
    return [=](Rig& rig, void** object) {
      (void)rig.service.callback->OnStartBinding(0, rig.service.binding.Get());
      if (SUCCEEDED(stop)) (void)rig.Data("xyz", true);
      (void)rig.service.callback->OnStopBinding(stop, nullptr);
      if (hand_stream) rig.service.stream.CopyTo(reinterpret_cast<IStream**>(object));
      return answer;
    };
  };
  struct Case {
    const char* name;
    HRESULT moniker_answer;
    Bind bind;
    HRESULT start;
    Log owner;  // after Start
    Log after;  // after a status and a stop the service sends later
  };
  const Case cases[] = {
      {"goes on",
       S_OK,
       [](Rig&, void**) { return MK_S_ASYNCHRONOUS; },
       S_OK,
       {},
       {"progress 0/0 6", "stop 0x00000000"}},
      {"bound at once",
       S_OK,
       [](Rig& rig, void** object) {
         rig.stream_object->Add("hello", true);
         rig.service.stream.CopyTo(reinterpret_cast<IStream**>(object));
         return S_OK;
       },
       S_OK,
       {"data 3", "data 2", "stop 0x00000000"},
       {"data 3", "data 2", "stop 0x00000000"}},
      {"stopped inside, goes on",
       S_OK,
       stop_inside(S_OK, MK_S_ASYNCHRONOUS, false),
       S_OK,
       {"data 3", "stop 0x00000000"},
       {"data 3", "stop 0x00000000"}},
      {"stopped inside, bound",
       S_OK,
       stop_inside(S_OK, S_OK, true),
       S_OK,
       {"data 3", "stop 0x00000000"},
       {"data 3", "stop 0x00000000"}},
      {"failed inside",
       S_OK,
       stop_inside(INET_E_RESOURCE_NOT_FOUND, INET_E_RESOURCE_NOT_FOUND, false),
       S_OK,
       {"stop 0x800C0005"},
       {"stop 0x800C0005"}},
      {"refused",
       S_OK,
       [](Rig&, void**) { return INET_E_UNKNOWN_PROTOCOL; },
       INET_E_UNKNOWN_PROTOCOL,
       {},
       {}},
      {"no moniker", E_OUTOFMEMORY, nullptr, E_OUTOFMEMORY, {}, {}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.service.moniker_answer = c.moniker_answer;
    if (c.bind) rig.service.on_bind = [&](void** object) { return c.bind(rig, object); };
    EXPECT_EQ(rig.Start(), c.start) << c.name;
    EXPECT_EQ(rig.owner.log, c.owner) << c.name;
    if (rig.service.callback) {
      (void)rig.service.callback->OnProgress(0, 0, BINDSTATUS_ENDDOWNLOADDATA, nullptr);
      (void)rig.service.callback->OnStopBinding(S_OK, nullptr);
    }
    EXPECT_EQ(rig.owner.log, c.after) << c.name;
  }
  // Bad URLs, and a reader that served (or was cut off) already, ask the host nothing.
  Rig rig;
  EXPECT_EQ(rig.reader->Start(nullptr, rig.host.Get()), E_INVALIDARG);
  EXPECT_EQ(rig.reader->Start(L"", rig.host.Get()), E_INVALIDARG);
  EXPECT_TRUE(rig.service.calls.empty());
  ASSERT_EQ(rig.Start(), S_OK);
  EXPECT_EQ(rig.Start(), E_UNEXPECTED);
  EXPECT_EQ(rig.service.calls, (Log{"CreateMoniker data/x.bin", "MonikerBindToStorage"}));
  Rig detached;
  detached.reader->Detach();
  EXPECT_EQ(detached.Start(), E_UNEXPECTED);
  EXPECT_TRUE(detached.service.calls.empty());
}

TEST(BindStatusReader, AbortAsksTheBindingAndOneStopFollows) {
  for (bool stop_inside_abort : {false, true}) {
    Rig rig;
    rig.reader->Abort();  // nothing to abort yet
    rig.Run();
    rig.service.stop_on_abort = stop_inside_abort;
    rig.reader->Abort();
    if (!stop_inside_abort) (void)rig.service.callback->OnStopBinding(E_ABORT, nullptr);
    (void)rig.service.callback->OnStopBinding(E_ABORT, nullptr);
    rig.reader->Abort();  // ended: the binding is no longer held
    EXPECT_EQ(rig.service.calls,
              (Log{"CreateMoniker data/x.bin", "MonikerBindToStorage", "Abort"}));
    EXPECT_EQ(rig.owner.log, (Log{"stop 0x80004004"}));
    EXPECT_EQ(ReferenceCount(rig.service.binding.Get()), 1u);
  }
}

TEST(BindStatusReader, QueryBindingReachesTheServiceBindingOnlyWhileItRuns) {
  Rig rig;
  void* object = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(rig.reader->QueryBinding(IID_IBinding, &object), E_UNEXPECTED);  // not handed over
  EXPECT_EQ(object, nullptr);
  rig.Run();
  ComPtr<IBinding> binding;
  EXPECT_EQ(rig.reader->QueryBinding(IID_PPV_ARGS(&binding)), S_OK);
  EXPECT_EQ(binding.Get(), rig.service.binding.Get());
  ComPtr<IWinInetHttpInfo> http;
  EXPECT_EQ(rig.reader->QueryBinding(IID_PPV_ARGS(&http)), E_NOINTERFACE);
  EXPECT_EQ(rig.reader->QueryBinding(IID_IBinding, nullptr), E_POINTER);
  (void)rig.service.callback->OnStopBinding(S_OK, nullptr);
  object = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(rig.reader->QueryBinding(IID_IBinding, &object), E_UNEXPECTED);
  EXPECT_EQ(object, nullptr);
  binding.Reset();
  EXPECT_EQ(ReferenceCount(rig.service.binding.Get()), 1u);
}

// The cap, the owner's refusal of data and a failing read end the binding with their own
// outcome, whatever the service then says, and nothing is read after.
TEST(BindStatusReader, ItsOwnReasonsToEndReplaceTheServiceOutcome) {
  struct Case {
    const char* name;
    ULONGLONG cap;
    HRESULT data_answer;
    HRESULT read_failure;
    bool stop_inside_abort;
    std::string data;
    HRESULT outcome;
  };
  const HRESULT kTooLarge = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
  const Case cases[] = {
      {"over the cap", 5, S_OK, S_OK, false, "abcde", kTooLarge},
      {"over the cap, stopped in abort", 5, S_OK, S_OK, true, "abcde", kTooLarge},
      {"over the cap at a read's end", 6, S_OK, S_OK, false, "abcdef", kTooLarge},
      {"owner refuses", 0, E_OUTOFMEMORY, S_OK, false, "abc", E_OUTOFMEMORY},
      {"read fails", 0, S_OK, STG_E_READFAULT, false, "", STG_E_READFAULT},
      {"at the cap", 11, S_OK, S_OK, false, "abcdefghijk", S_OK},
  };
  EXPECT_EQ(CBindStatusReader::kErrorTooLarge, kTooLarge);
  for (const Case& c : cases) {
    Rig rig({0, c.cap});
    rig.owner.data_answer = c.data_answer;
    rig.stream_object->fail_with = c.read_failure;
    rig.service.stop_on_abort = c.stop_inside_abort;
    rig.Run();
    ASSERT_EQ(rig.Data("abcdefgh", false), S_OK);
    const size_t reads = rig.service.calls.size();
    ASSERT_EQ(rig.Data("ijk", true), S_OK);
    (void)rig.service.callback->OnStopBinding(c.outcome == S_OK ? S_OK : E_ABORT, nullptr);
    EXPECT_EQ(rig.owner.data, c.data) << c.name;
    EXPECT_EQ(rig.owner.log.back(), "stop " + Hex(c.outcome)) << c.name;
    const bool aborted = c.outcome != S_OK;
    EXPECT_EQ(std::count(rig.service.calls.begin(), rig.service.calls.end(), "Abort"),
              aborted ? 1 : 0)
        << c.name;
    if (aborted) {
      EXPECT_EQ(rig.service.calls.size(), reads) << c.name;
    }
  }
}

TEST(BindStatusReader, NothingReachesAnOwnerThatDetachedOrWent) {
  Rig rig;
  auto owner = std::make_unique<RecordingOwner>();
  rig.reader = MakeComObject<CBindStatusReader>(*owner);
  rig.Run();
  rig.reader->Detach();
  rig.reader.Reset();  // the service's references keep it
  IBindStatusCallback* callback = rig.service.callback.Get();
  EXPECT_EQ(callback->OnProgress(0, 0, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
  EXPECT_EQ(rig.Data("abc", true), S_OK);
  EXPECT_EQ(callback->OnObjectAvailable(IID_IClassFactory, rig.host.Get()), S_OK);
  ComPtr<IWindowForBindingUI> ui;
  ASSERT_EQ(callback->QueryInterface(IID_PPV_ARGS(&ui)), S_OK);
  HWND window = reinterpret_cast<HWND>(0xdeadbeef);
  EXPECT_EQ(ui->GetWindow(IID_IHttpSecurity, &window), S_OK);
  EXPECT_EQ(window, nullptr);
  EXPECT_TRUE(owner->log.empty());
  owner.reset();
  EXPECT_EQ(callback->OnStopBinding(S_OK, nullptr), S_OK);
  EXPECT_EQ(rig.service.calls.size(), 2u);  // not even a read
}

// Through urlmon: a temporary file's file: URL, bound by the reader itself or by the owner with
// the reader's bind context; the messages flow until the stop.
class BindStatusReaderUrlmon : public testing::Test {
 protected:
  std::wstring FileUrl(const std::string& bytes) {
    const std::wstring path = folder_ / L"resource.bin";
    ScopedFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(
        ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    std::wstring url = L"file:///";
    for (wchar_t c : path) url += c == L'\\' ? L"/" : c == L' ' ? L"%20" : std::wstring(1, c);
    return url;
  }
  static std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
  }

  TempFolder folder_{L"kovira bind reader"};
  RecordingOwner owner_;
};

TEST_F(BindStatusReaderUrlmon, ReadsAFileWithoutABindHost) {
  struct Case {
    size_t size;
    ULONGLONG cap;
    HRESULT outcome;
    size_t delivered;
  };
  const HRESULT kTooLarge = CBindStatusReader::kErrorTooLarge;
  for (const Case& c : {Case{200000, 0, S_OK, 200000}, Case{0, 0, S_OK, 0},
                        Case{200000, 70000, kTooLarge, 70000}}) {
    owner_ = RecordingOwner();
    const std::string bytes = Pattern(c.size);
    auto reader = MakeComObject<CBindStatusReader>(owner_, BindStatusReaderOptions{0, c.cap});
    ASSERT_EQ(reader->Start(FileUrl(bytes).c_str(), nullptr), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return owner_.Stopped(); }, 5000)) << c.size;
    EXPECT_EQ(owner_.log.back(), "stop " + Hex(c.outcome)) << c.size;
    EXPECT_EQ(owner_.data, bytes.substr(0, c.delivered)) << c.size;
    reader.Reset();
  }
  // A missing file: either Start fails and nothing follows, or the stop says so.
  owner_ = RecordingOwner();
  auto reader = MakeComObject<CBindStatusReader>(owner_);
  const HRESULT started = reader->Start((FileUrl("") + L".missing").c_str(), nullptr);
  if (SUCCEEDED(started)) {
    ASSERT_TRUE(PumpUntil([&] { return owner_.Stopped(); }, 5000));
    EXPECT_EQ(owner_.stops, 1);
    EXPECT_NE(owner_.log.back(), "stop 0x00000000");
  } else {
    EXPECT_EQ(owner_.stops, 0) << Hex(started);
  }
}

TEST_F(BindStatusReaderUrlmon, PreparedContextCarriesTheReaderIntoTheOwnersBinding) {
  const std::string bytes = Pattern(1000);
  auto reader = MakeComObject<CBindStatusReader>(owner_);
  IBindCtx* context = reinterpret_cast<IBindCtx*>(0xdeadbeef);
  EXPECT_EQ(reader->PrepareBindContext(0, nullptr), E_POINTER);
  ASSERT_EQ(reader->PrepareBindContext(BIND_MAYBOTHERUSER, &context), S_OK);
  ComPtr<IBindCtx> owned;
  *owned.GetAddressOf() = context;
  BIND_OPTS options{};
  options.cbStruct = sizeof(options);
  ASSERT_EQ(owned->GetBindOptions(&options), S_OK);
  EXPECT_EQ(options.grfFlags & BIND_MAYBOTHERUSER, static_cast<DWORD>(BIND_MAYBOTHERUSER));
  IBindCtx* again = reinterpret_cast<IBindCtx*>(0xdeadbeef);
  EXPECT_EQ(reader->PrepareBindContext(0, &again), E_UNEXPECTED);
  EXPECT_EQ(again, nullptr);

  ComPtr<IMoniker> moniker;
  ASSERT_EQ(::CreateURLMoniker(nullptr, FileUrl(bytes).c_str(), &moniker), S_OK);
  ComPtr<IStream> stream;
  const HRESULT bound = moniker->BindToStorage(owned.Get(), nullptr, IID_PPV_ARGS(&stream));
  ASSERT_TRUE(bound == S_OK || bound == MK_S_ASYNCHRONOUS) << Hex(bound);
  ASSERT_TRUE(PumpUntil([&] { return owner_.Stopped(); }, 5000));
  EXPECT_EQ(owner_.log.back(), "stop 0x00000000");
  EXPECT_EQ(owner_.data, bytes);
}

}  // namespace
