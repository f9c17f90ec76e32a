#include "mdi/background_picture.h"

#include <ocidl.h>
#include <olectl.h>

#include <utility>

#include "common/com_object.h"
#include "common/scoped_selection.h"

using Microsoft::WRL::ComPtr;

CBackgroundPicture::CBackgroundPicture(std::function<void()> changed, ULONGLONG maxBytes)
    : changed_(std::move(changed)), maxBytes_(maxBytes) {}

CBackgroundPicture::~CBackgroundPicture() { EndDownload(); }

HRESULT CBackgroundPicture::Load(const std::wstring& url, IBindHost* host) {
  EndDownload();
  auto reader = MakeComObject<CBindStatusReader>(
      *this, BindStatusReaderOptions{BINDF_DIRECT_READ, maxBytes_});
  reader_ = reader;
  const HRESULT hr = reader->Start(url.c_str(), host);
  // The stop may already have come (reader_ then differs or is gone).
  if (FAILED(hr) && reader_ == reader) reader_.Reset();
  return hr;
}

void CBackgroundPicture::Clear() {
  EndDownload();
  bitmap_.Reset();
  size_ = {};
  if (changed_) changed_();
}

void CBackgroundPicture::EndDownload() {
  if (const ComPtr<CBindStatusReader> reader = std::exchange(reader_, nullptr)) {
    reader->Detach();  // first, so that the abort's stop finds nobody
    reader->Abort();
  }
  received_.clear();
  received_.shrink_to_fit();
}

HRESULT CBackgroundPicture::OnBindData(const BYTE* bytes, size_t count) {
  received_.insert(received_.end(), bytes, bytes + count);
  return S_OK;
}

void CBackgroundPicture::OnBindStop(HRESULT result, const std::wstring& /*text*/) {
  reader_.Reset();
  std::vector<BYTE> bytes = std::exchange(received_, {});
  if (result == CBindStatusReader::kErrorTooLarge) bytes.clear();
  Decode(bytes);
  if (changed_) changed_();
}

void CBackgroundPicture::Decode(const std::vector<BYTE>& bytes) {
  bitmap_.Reset();
  size_ = {};
  if (bytes.empty()) return;
  ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return;
  ULONG written = 0;
  if (FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) ||
      written != bytes.size()) {
    return;
  }
  const LARGE_INTEGER start{};
  if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return;
  ComPtr<IPicture> picture;
  if (FAILED(::OleLoadPicture(stream.Get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(picture.GetAddressOf())))) {
    return;
  }
  SHORT type = PICTYPE_NONE;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(picture->get_Handle(&handle)) || handle == 0) {
    return;
  }
  // The picture object's own bitmap goes with it: keep a copy.
  ScopedGdiObject copy(::CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)),
                                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_COPYRETURNORG));
  BITMAP info{};
  if (!copy || ::GetObjectW(copy.Get(), sizeof(info), &info) == 0) return;
  bitmap_ = std::move(copy);
  size_ = {info.bmWidth, info.bmHeight};
}

void CBackgroundPicture::Draw(HDC dc, POINT at) const {
  if (!bitmap_) return;
  ScopedDc memory(::CreateCompatibleDC(dc));
  if (!memory) return;
  const ScopedSelection selected(memory.Get(), bitmap_.Get());
  ::BitBlt(dc, at.x, at.y, size_.cx, size_.cy, memory.Get(), 0, 0, SRCCOPY);
}
