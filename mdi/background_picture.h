#pragma once

#include <windows.h>

#include <urlmon.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "common/bind/bind_status_owner.h"
#include "common/bind/bind_status_reader.h"
#include "common/scoped_owner.h"

// A frame's background picture: fetched asynchronously (relative to the page through its bind
// host), its bytes collected and decoded once, when the download ends, into a bitmap this object
// owns. Bytes that do not decode, or decode to something other than a bitmap (an icon, a
// metafile), leave no picture.
//
// One download at a time: a new Load aborts the one running, and so do Clear, Stop and the
// destructor; an aborted download never touches the picture. A download that fails part way
// decodes what it had received; one that goes over the byte limit is aborted and leaves no
// picture. All calls on the thread that runs the bindings.
class CBackgroundPicture final : public IBindStatusOwner {
 public:
  static constexpr ULONGLONG kMaxBytes = 32ull << 20;

  // changed runs each time the picture is decoded or dropped, so that the owner repaints.
  explicit CBackgroundPicture(std::function<void()> changed, ULONGLONG maxBytes = kMaxBytes);
  ~CBackgroundPicture();
  CBackgroundPicture(const CBackgroundPicture&) = delete;
  CBackgroundPicture& operator=(const CBackgroundPicture&) = delete;

  // Starts fetching url, through host when given; the picture shown so far stays until the end.
  // The result of starting: a failure leaves the picture as it was and nothing running.
  HRESULT Load(const std::wstring& url, IBindHost* host);
  // Drops the picture and ends the download, if any.
  void Clear();
  // Ends the download, if any; the picture stays.
  void Stop() { EndDownload(); }

  bool Downloading() const { return reader_ != nullptr; }
  HBITMAP Bitmap() const { return static_cast<HBITMAP>(bitmap_.Get()); }
  SIZE Size() const { return size_; }
  // Copies the whole picture, unscaled, with its top-left corner at `at`.
  void Draw(HDC dc, POINT at) const;

  // IBindStatusOwner
  HRESULT OnBindData(const BYTE* bytes, size_t count) override;
  void OnBindStop(HRESULT result, const std::wstring& text) override;

 private:
  void EndDownload();
  // Replaces the picture with what the bytes decode to, if anything.
  void Decode(const std::vector<BYTE>& bytes);

  std::function<void()> changed_;
  const ULONGLONG maxBytes_;
  Microsoft::WRL::ComPtr<CBindStatusReader> reader_;
  std::vector<BYTE> received_;
  ScopedGdiObject bitmap_;  // a DIB section of our own
  SIZE size_{};
};
