#pragma once

#include <windows.h>

#include <oaidl.h>

#include <algorithm>
#include <vector>

#include "common/com_server/variant.h"

// What the benchmarks share: the performance counter, medians, and calling a method of a control
// through its dispatch interface as a page's script does.

inline LONGLONG Counter() {
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

inline double Milliseconds(LONGLONG ticks) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return static_cast<double>(ticks) * 1000.0 / frequency;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Calls the method `name` with the arguments in their written order.
inline HRESULT Call(IDispatch* object, const wchar_t* name,
                    const std::vector<ScopedVariant>& arguments) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result)) return result;
  std::vector<VARIANTARG> packed;
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) packed.push_back(it->Get());
  DISPPARAMS params = {packed.data(), nullptr, static_cast<UINT>(packed.size()), 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                        nullptr, nullptr);
}
