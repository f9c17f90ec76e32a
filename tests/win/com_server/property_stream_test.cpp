#include "common/com_server/property_stream.h"

#include <gtest/gtest.h>

#include <ole2.h>
#include <olectl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "common/com_server/class_factory.h"
#include "common/com_server/variant.h"
#include "tests/win/counted_class_registration.h"

using Microsoft::WRL::ComPtr;
using Bytes = std::vector<BYTE>;

namespace {

// {3c0f7a52-9d1e-4b6a-a3c8-5e2f1d0b7c91}
const CLSID kSampleClsid = {
    0x3c0f7a52, 0x9d1e, 0x4b6a, {0xa3, 0xc8, 0x5e, 0x2f, 0x1d, 0x0b, 0x7c, 0x91}};
LONG g_samples = 0;

// Persists one word; a stream that ends early fails its load.
class Sample final : public CComObject<IPersistStream> {
 public:
  Sample() { ++g_samples; }
  STDMETHODIMP GetClassID(CLSID* clsid) override { return *clsid = kSampleClsid, S_OK; }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream* stream) override {
    ULONG read = 0;
    const HRESULT result = stream->Read(&word_, sizeof word_, &read);
    return FAILED(result) ? result : read == sizeof word_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP Save(IStream* stream, BOOL) override {
    return stream->Write(&word_, sizeof word_, nullptr);
  }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override { return size->QuadPart = 4, S_OK; }
  DWORD word_ = 0x12345678;

 private:
  ~Sample() override { --g_samples; }
};

// Takes writes until the one numbered fail_at, which gets `error`, or takes less than it is
// given when error is S_OK. Reads hand over `served` in full, yet answer S_FALSE.
class FakeStream final : public CComObject<IStream> {
 public:
  FakeStream(int fail_at, HRESULT error, Bytes served = {})
      : failAt_(fail_at), error_(error), served_(std::move(served)) {}
  STDMETHODIMP Write(const void*, ULONG size, ULONG* written) override {
    const bool fail = writes_++ == failAt_;
    if (written) *written = fail ? size / 2 : size;
    return fail ? error_ : S_OK;
  }
  STDMETHODIMP Read(void* data, ULONG size, ULONG* read) override {
    *read = std::min<ULONG>(size, static_cast<ULONG>(served_.size() - position_));
    std::memcpy(data, served_.data() + position_, *read);
    position_ += *read;
    return S_FALSE;
  }
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
  int writes_ = 0;

 private:
  int failAt_;
  HRESULT error_;
  Bytes served_;
  size_t position_ = 0;
};

ComPtr<IStream> StreamOf(const Bytes& bytes) {
  ComPtr<IStream> stream;
  EXPECT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  EXPECT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr), S_OK);
  EXPECT_EQ(stream->Seek({}, STREAM_SEEK_SET, nullptr), S_OK);
  return stream;
}

ULONGLONG Position(IStream* stream) {
  ULARGE_INTEGER position = {};
  EXPECT_EQ(stream->Seek({}, STREAM_SEEK_CUR, &position), S_OK);
  return position.QuadPart;
}

Bytes Contents(IStream* stream) {
  Bytes bytes(static_cast<size_t>(Position(stream)));
  EXPECT_EQ(stream->Seek({}, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr), S_OK);
  return bytes;
}

Bytes Record(const VARIANT& value, HRESULT expected = S_OK) {
  ComPtr<IStream> stream = StreamOf({});
  EXPECT_EQ(WriteVariantRecord(stream.Get(), value), expected);
  return Contents(stream.Get());
}

// Loads the first record of bytes; consumed is how far the reader went.
HRESULT Load(const Bytes& bytes, ScopedVariant& out, ULONGLONG* consumed = nullptr) {
  ComPtr<IStream> stream = StreamOf(bytes);
  const HRESULT result = ReadVariantRecord(stream.Get(), *out.Receive());
  if (consumed) *consumed = Position(stream.Get());
  return result;
}

// A text record whose count says `count`, whatever text follows.
Bytes Text(const wchar_t* text, size_t chars, DWORD count) {
  Bytes bytes(6 + chars * sizeof(wchar_t), 0x00);
  bytes[0] = VT_BSTR;
  std::memcpy(&bytes[2], &count, sizeof count);
  std::memcpy(&bytes[6], text, chars * sizeof(wchar_t));
  return bytes;
}

template <typename T>
VARIANT Of(VARTYPE type, T field) {
  VARIANT value = {};
  value.vt = type;
  std::memcpy(&value.bVal, &field, sizeof field);
  return value;
}

VARIANT Of(Sample* sample) { return Of(VT_UNKNOWN, static_cast<IUnknown*>(sample)); }

// A null text when chars is null.
ScopedVariant TextOf(const wchar_t* chars, UINT length) {
  ScopedVariant text;
  text.Pointer()->vt = VT_BSTR;
  text.Pointer()->bstrVal = chars ? ::SysAllocStringLen(chars, length) : nullptr;
  return text;
}

// The sample's class is registered in the process throughout, so that a load which tried to
// make the class named in a record would succeed, and be counted.
class PropertyStream : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(samples_.Registered(), S_OK); }
  void TearDown() override {
    EXPECT_EQ(samples_.Requests(), madeHere_) << "a load asked for the class a record names";
    EXPECT_EQ(g_samples, 0);  // every object the test made went again
  }
  CountedClassRegistration samples_{kSampleClsid, &CreateObject<Sample>};
  LONG madeHere_ = 0;  // instances a test asked for itself
};

}  // namespace

TEST_F(PropertyStream, SavedControlComesOutByteForByte) {
  ComPtr<IStream> stream = StreamOf({});
  for (DWORD word : {0x300, 2000, 1000}) ASSERT_EQ(WriteStreamWord(stream.Get(), word), S_OK);
  ScopedVariant color(L"darkgray"), empty(L"");
  const VARIANT records[] = {color.Get(), Of(VT_I4, 300L), Of(VT_I4, 200L),
                             Of(VT_BOOL, VARIANT_TRUE), empty.Get()};
  for (const VARIANT& record : records) ASSERT_EQ(WriteVariantRecord(stream.Get(), record), S_OK);
  const Bytes expected = {0x00, 0x03, 0,    0,    0xD0, 0x07, 0,    0, 0xE8, 0x03, 0,   0,
                          0x08, 0,    0x12, 0,    0,    0,    'd',  0, 'a',  0,    'r', 0,
                          'k',  0,    'g',  0,    'r',  0,    'a',  0, 'y',  0,    0,   0,
                          0x03, 0,    0x2C, 0x01, 0,    0,    0x03, 0, 0xC8, 0,    0,   0,
                          0x0B, 0,    0xFF, 0xFF, 0x08, 0,    0x02, 0, 0,    0,    0,   0};
  EXPECT_EQ(Contents(stream.Get()), expected);

  // It loads back in order, and then the stream has ended.
  ASSERT_EQ(stream->Seek({}, STREAM_SEEK_SET, nullptr), S_OK);
  for (DWORD word : {0x300, 2000, 1000}) {
    DWORD read = 0;
    ASSERT_EQ(ReadStreamWord(stream.Get(), read), S_OK);
    EXPECT_EQ(read, word);
  }
  for (VARIANT record : records) {
    ScopedVariant loaded;
    ASSERT_EQ(ReadVariantRecord(stream.Get(), *loaded.Pointer()), S_OK);
    EXPECT_EQ(::VarCmp(loaded.Pointer(), &record, LOCALE_USER_DEFAULT, 0), VARCMP_EQ);
  }
  DWORD word = 0xdeadbeef;
  EXPECT_EQ(ReadStreamWord(stream.Get(), word), E_FAIL);
  EXPECT_EQ(word, 0xdeadbeefu);
}

TEST_F(PropertyStream, FixedSizeValuesRoundTripInTheirOwnSize) {
  CY money;
  money.int64 = -1234567890123;
  const VARIANT values[] = {Of(VT_I1, CHAR{-5}),
                            Of(VT_UI1, BYTE{0xFE}),
                            Of(VT_I2, SHORT{-2}),
                            Of(VT_UI2, USHORT{0xFFFE}),
                            Of(VT_BOOL, VARIANT_FALSE),
                            Of(VT_I4, LONG{-7}),
                            Of(VT_UI4, ULONG{0xFFFFFFF0}),
                            Of(VT_R4, 1.5f),
                            Of(VT_ERROR, DISP_E_PARAMNOTFOUND),
                            Of(VT_INT, INT{-9}),
                            Of(VT_UINT, UINT{9}),
                            Of(VT_R8, -2.25),
                            Of(VT_CY, money),
                            Of(VT_DATE, DATE{45000.5})};
  for (const VARIANT& value : values) {
    const Bytes record = Record(value);
    const size_t size = record.size() - sizeof(VARTYPE);
    ASSERT_TRUE(size == 1 || size == 2 || size == 4 || size == 8) << value.vt;
    EXPECT_EQ(std::memcmp(record.data(), &value.vt, 2), 0);
    ScopedVariant loaded;
    ULONGLONG consumed = 0;
    ASSERT_EQ(Load(record, loaded, &consumed), S_OK);
    EXPECT_EQ(consumed, record.size());
    EXPECT_EQ(loaded.Get().vt, value.vt);
    EXPECT_EQ(std::memcmp(&loaded.Get().bVal, &value.bVal, size), 0) << value.vt;
  }
  // Any true flag is written, and read, as VARIANT_TRUE.
  EXPECT_EQ(Record(Of(VT_BOOL, VARIANT_BOOL{1})), (Bytes{0x0B, 0, 0xFF, 0xFF}));
  ScopedVariant flag;
  ASSERT_EQ(Load({0x0B, 0, 0x01, 0x00}, flag), S_OK);
  EXPECT_EQ(flag.Get().boolVal, VARIANT_TRUE);
}

TEST_F(PropertyStream, TextsKeepNullEmptyAndInnerZerosApart) {
  ScopedVariant null_text = TextOf(nullptr, 0), empty = TextOf(L"", 0), inner = TextOf(L"a\0b", 3),
                korean = TextOf(L"\uD55C\uAE00", 2);
  EXPECT_EQ(Record(null_text.Get()), (Bytes{0x08, 0, 0, 0, 0, 0}));
  for (const ScopedVariant* text : {&null_text, &empty, &inner, &korean}) {
    ScopedVariant loaded;
    ASSERT_EQ(Load(Record(text->Get()), loaded), S_OK);
    ASSERT_EQ(loaded.Get().vt, VT_BSTR);
    const BSTR got = loaded.Get().bstrVal, want = text->Get().bstrVal;
    EXPECT_EQ(got == nullptr, want == nullptr);
    ASSERT_EQ(::SysStringLen(got), ::SysStringLen(want));
    EXPECT_EQ(std::wmemcmp(got, want, ::SysStringLen(want)), 0);
  }
  // A count without the terminating zero still gives its text, and the next record follows it.
  Bytes unterminated = Text(L"ab", 2, 4);
  unterminated.insert(unterminated.end(), {0x03, 0, 1, 0, 0, 0});
  ComPtr<IStream> stream = StreamOf(unterminated);
  ScopedVariant ab, next;
  ASSERT_EQ(ReadVariantRecord(stream.Get(), *ab.Pointer()), S_OK);
  ASSERT_EQ(ReadVariantRecord(stream.Get(), *next.Pointer()), S_OK);
  EXPECT_STREQ(ab.Get().bstrVal, L"ab");
  EXPECT_EQ(::SysStringLen(ab.Get().bstrVal), 2u);
  EXPECT_EQ(next.Get().lVal, 1);

  // The longest text a load accepts saves and loads; one character more is refused unwritten.
  const std::wstring letters(kMaxTextBytes / 2, L'x');
  ScopedVariant longest = TextOf(letters.c_str(), kMaxTextBytes / 2 - 1),
                longer = TextOf(letters.c_str(), kMaxTextBytes / 2), loaded;
  EXPECT_EQ(Load(Record(longest.Get()), loaded), S_OK);
  EXPECT_EQ(::SysStringLen(loaded.Get().bstrVal), kMaxTextBytes / 2 - 1);
  EXPECT_TRUE(Record(longer.Get(), E_INVALIDARG).empty());
}

TEST_F(PropertyStream, OtherTypesAreSavedAsTheirText) {
  ScopedVariant digits(L"1234567890123"), nothing(L""), forty_two(L"42");
  EXPECT_EQ(Record(Of(VT_I8, LONGLONG{1234567890123})), Record(digits.Get()));
  EXPECT_EQ(Record(VARIANT{}), Record(nothing.Get()));  // VT_EMPTY
  LONG number = 42;
  EXPECT_EQ(Record(Of(VARTYPE(VT_I4 | VT_BYREF), &number)), Record(forty_two.Get()));
  // What has no text, or no stream form, is refused before a byte goes out.
  EXPECT_TRUE(Record(Of(VT_NULL, 0), DISP_E_TYPEMISMATCH).empty());
  ComPtr<IStream> not_persistable = StreamOf({});
  EXPECT_TRUE(Record(Of(VT_UNKNOWN, not_persistable.Get()), E_NOINTERFACE).empty());
}

TEST_F(PropertyStream, ObjectsAreSavedWithTheirClassButNeverLoaded) {
  ComPtr<Sample> sample = MakeComObject<Sample>();
  sample->word_ = 0xA1B2C3D4;
  Bytes sample_record(2 + sizeof(CLSID) + 4, 0x0D);
  sample_record[1] = 0;
  std::memcpy(&sample_record[2], &kSampleClsid, sizeof(CLSID));
  std::memcpy(&sample_record[2 + sizeof(CLSID)], &sample->word_, 4);
  // A null object is a null class id.
  Bytes null_unknown(2 + sizeof(CLSID), 0x00), null_dispatch = null_unknown;
  null_unknown[0] = VT_UNKNOWN;
  null_dispatch[0] = VT_DISPATCH;
  // The standard font, through its dispatch interface: its class id, then its own data.
  FONTDESC description = {sizeof description,
                          const_cast<LPOLESTR>(L"Arial"),
                          {120000, 0},
                          FW_BOLD,
                          ANSI_CHARSET,
                          FALSE,
                          FALSE,
                          FALSE};
  ComPtr<IDispatch> font;
  ASSERT_EQ(::OleCreateFontIndirect(&description, IID_PPV_ARGS(&font)), S_OK);
  Bytes font_start(2 + sizeof(CLSID), 0x00);
  font_start[0] = VT_DISPATCH;
  std::memcpy(&font_start[2], &CLSID_StdFont, sizeof(CLSID));

  const struct {
    const char* what;
    VARIANT value;
    Bytes start;  // what the record begins with
    bool whole;   // and all it holds
  } cases[] = {
      {"sample", Of(sample.Get()), sample_record, true},
      {"null unknown", Of(VT_UNKNOWN, static_cast<IUnknown*>(nullptr)), null_unknown, true},
      {"null dispatch", Of(VT_DISPATCH, static_cast<IDispatch*>(nullptr)), null_dispatch, true},
      {"font", Of(VT_DISPATCH, font.Get()), font_start, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes record = Record(c.value);
    ASSERT_GE(record.size(), c.start.size());
    EXPECT_EQ(Bytes(record.begin(), record.begin() + c.start.size()), c.start);
    if (c.whole) EXPECT_EQ(record.size(), c.start.size());
    if (!c.whole) EXPECT_GT(record.size(), c.start.size());
    // Refused at its type: the class id and the data after it stay unread.
    ScopedVariant loaded;
    ULONGLONG consumed = 0;
    EXPECT_EQ(Load(record, loaded, &consumed), kObjectRecordRefused);
    EXPECT_EQ(consumed, sizeof(VARTYPE));
    EXPECT_EQ(loaded.Get().vt, VT_EMPTY);
  }
  EXPECT_EQ(g_samples, 1);  // the one saved; none made on load
}

TEST_F(PropertyStream, RecordNamingARegisteredClassCreatesNothing) {
  for (VARTYPE type : {VARTYPE{VT_UNKNOWN}, VARTYPE{VT_DISPATCH}}) {
    Bytes record(2 + sizeof(CLSID) + 4, 0x00);
    std::memcpy(record.data(), &type, sizeof type);
    std::memcpy(&record[2], &kSampleClsid, sizeof(CLSID));
    ScopedVariant loaded;
    ULONGLONG consumed = 0;
    EXPECT_EQ(Load(record, loaded, &consumed), kObjectRecordRefused) << type;
    EXPECT_EQ(consumed, sizeof(VARTYPE));
    EXPECT_EQ(loaded.Get().vt, VT_EMPTY);
    EXPECT_EQ(samples_.Requests(), 0) << type;
  }
  // The class was there to be made all along.
  ComPtr<IPersistStream> made;
  ASSERT_EQ(::CoCreateInstance(kSampleClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&made)),
            S_OK);
  madeHere_ = 1;
  EXPECT_EQ(samples_.Requests(), madeHere_);
}

TEST_F(PropertyStream, EveryCutShortRecordFailsAndLeavesNothing) {
  ComPtr<Sample> sample = MakeComObject<Sample>();
  ScopedVariant text(L"ab"), empty(L""), null_text = TextOf(nullptr, 0);
  const VARIANT values[] = {Of(VT_UI1, BYTE{1}), Of(VT_BOOL, VARIANT_TRUE),
                            Of(VT_I4, 5L),       Of(VT_R8, 0.5),
                            text.Get(),          empty.Get(),
                            null_text.Get(),     Of(VT_DISPATCH, static_cast<IDispatch*>(nullptr)),
                            Of(sample.Get())};
  for (const VARIANT& value : values) {
    const Bytes record = Record(value);
    // An object record is refused as soon as its type is whole, however little follows.
    const bool object = value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH;
    for (size_t cut = 0; cut < record.size(); ++cut) {
      ScopedVariant loaded;
      const HRESULT expected = object && cut >= sizeof(VARTYPE) ? kObjectRecordRefused : E_FAIL;
      EXPECT_EQ(Load(Bytes(record.begin(), record.begin() + cut), loaded), expected)
          << "type " << value.vt << " cut at " << cut;
      EXPECT_EQ(loaded.Get().vt, VT_EMPTY);
    }
  }
  EXPECT_EQ(g_samples, 1);  // the one saved; none made on load
}

TEST_F(PropertyStream, DamagedCountsAndTypesAreRefused) {
  // Odd or oversized counts: refused right after the count, the text left unread.
  for (DWORD count : {DWORD{3}, kMaxTextBytes + 2, DWORD{0xFFFFFFFE}, DWORD{0xFFFFFFFF}}) {
    ScopedVariant loaded;
    ULONGLONG consumed = 0;
    EXPECT_EQ(Load(Text(L"abcd", 4, count), loaded, &consumed), E_FAIL) << count;
    EXPECT_EQ(consumed, 6u);
    EXPECT_EQ(loaded.Get().vt, VT_EMPTY);
  }
  const VARTYPE never_written[] = {VT_EMPTY,           VT_NULL, VT_VARIANT, VT_I8,
                                   VT_BSTR | VT_BYREF, 0xFFFF};
  for (VARTYPE type : never_written) {
    Bytes record(10, 0x00);
    std::memcpy(record.data(), &type, sizeof type);
    ScopedVariant loaded;
    EXPECT_EQ(Load(record, loaded), E_FAIL) << type;
    EXPECT_EQ(loaded.Get().vt, VT_EMPTY);
  }
  // A stream that says S_FALSE has ended, whatever it handed over.
  ComPtr<FakeStream> ending = MakeComObject<FakeStream>(-1, S_OK, Bytes{0x03, 0, 1, 0, 0, 0});
  ScopedVariant loaded;
  EXPECT_EQ(ReadVariantRecord(ending.Get(), *loaded.Pointer()), E_FAIL);
  EXPECT_EQ(loaded.Get().vt, VT_EMPTY);
}

TEST_F(PropertyStream, WriteErrorsComeBackAsTheStreamGaveThem) {
  ComPtr<Sample> sample = MakeComObject<Sample>();
  ScopedVariant text(L"ab"), null_text = TextOf(nullptr, 0);
  const VARIANT values[] = {Of(VT_I4, 5L),
                            text.Get(),
                            null_text.Get(),
                            Of(VT_I8, LONGLONG{5}),
                            Of(VT_UNKNOWN, static_cast<IUnknown*>(nullptr)),
                            Of(sample.Get())};
  for (const VARIANT& value : values) {
    ComPtr<FakeStream> counting = MakeComObject<FakeStream>(-1, S_OK);
    ASSERT_EQ(WriteVariantRecord(counting.Get(), value), S_OK);
    for (int fail_at = 0; fail_at < counting->writes_; ++fail_at) {
      ComPtr<FakeStream> full = MakeComObject<FakeStream>(fail_at, STG_E_MEDIUMFULL);
      EXPECT_EQ(WriteVariantRecord(full.Get(), value), STG_E_MEDIUMFULL)
          << value.vt << " failing write " << fail_at;
    }
  }
  // A write that takes less than it was given, yet says it succeeded, is still a failure.
  EXPECT_EQ(WriteVariantRecord(MakeComObject<FakeStream>(0, S_OK).Get(), Of(VT_I4, 5L)),
            STG_E_WRITEFAULT);
  EXPECT_EQ(WriteStreamWord(MakeComObject<FakeStream>(0, S_OK).Get(), 5), STG_E_WRITEFAULT);
}
