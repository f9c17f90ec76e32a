#pragma once

#include <windows.h>

#include <unknwn.h>

#include <cstddef>
#include <string>

// What a CBindStatusReader tells the object that started (or requested) a binding. Calls come on
// the binding's thread, from inside the service's notifications, in the order the service made
// them; the owner may call the reader's Abort or Detach from any of them.
class IBindStatusOwner {
 public:
  // A status from the service (BINDSTATUS_*). text lives only during the call. The result goes
  // back to the service as the notification's answer.
  virtual HRESULT OnBindProgress(ULONG /*progress*/, ULONG /*progress_max*/, ULONG /*status*/,
                                 const wchar_t* /*text*/) {
    return S_OK;
  }

  // The resource's next bytes, in order, never more than the reader's cap in all. A failure
  // aborts the binding and becomes the stop's outcome; no bytes follow it.
  virtual HRESULT OnBindData(const BYTE* /*bytes*/, size_t /*count*/) { return S_OK; }

  // An object the binding made (a class object, say); never null. The result goes back to the
  // service.
  virtual HRESULT OnBindObject(REFIID /*riid*/, IUnknown* /*object*/) { return S_OK; }

  // The binding ended: exactly once per binding that started, and nothing follows it. result is
  // the service's, unless the reader aborted for a reason of its own (see CBindStatusReader);
  // text is the service's error text, empty when it gave none.
  virtual void OnBindStop(HRESULT result, const std::wstring& text) = 0;

  // The window that owns any user interface the service shows; null for none.
  virtual HWND BindWindow() { return nullptr; }

 protected:
  // Owners are not deleted through this interface.
  ~IBindStatusOwner() = default;
};
