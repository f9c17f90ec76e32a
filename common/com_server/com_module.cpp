#include "common/com_server/com_module.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "common/module_info.h"
#include "common/window/window_impl.h"

namespace {
HINSTANCE g_instance = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;
std::mutex g_unload_lock;
std::vector<void (*)()> g_unload_callbacks;
}  // namespace

void ComModule::Init(HINSTANCE instance) { g_instance = instance; }

HINSTANCE ComModule::Instance() { return g_instance; }

std::wstring ComModule::Path() {
  // Without Init, GetModuleFileName would name the program: the registry would point at it.
  return g_instance ? ModuleFilePath(g_instance) : std::wstring();
}

void ComModule::ObjectCreated() { ::InterlockedIncrement(&g_objects); }

void ComModule::ObjectDestroyed() { ::InterlockedDecrement(&g_objects); }

void ComModule::Lock() { ::InterlockedIncrement(&g_locks); }

bool ComModule::Unlock() {
  LONG current = g_locks;
  while (current > 0) {
    const LONG seen = ::InterlockedCompareExchange(&g_locks, current - 1, current);
    if (seen == current) return true;
    current = seen;
  }
  return false;
}

LONG ComModule::Objects() { return ::InterlockedCompareExchange(&g_objects, 0, 0); }

LONG ComModule::Locks() { return ::InterlockedCompareExchange(&g_locks, 0, 0); }

HRESULT ComModule::CanUnloadNow() { return Objects() == 0 && Locks() == 0 ? S_OK : S_FALSE; }

void ComModule::AtUnload(void (*callback)()) {
  const std::lock_guard<std::mutex> lock(g_unload_lock);
  if (std::find(g_unload_callbacks.begin(), g_unload_callbacks.end(), callback) ==
      g_unload_callbacks.end()) {
    g_unload_callbacks.push_back(callback);
  }
}

void ComModule::Unload() {
  std::vector<void (*)()> callbacks;
  {
    const std::lock_guard<std::mutex> lock(g_unload_lock);
    callbacks.swap(g_unload_callbacks);
  }
  for (auto it = callbacks.rbegin(); it != callbacks.rend(); ++it) (*it)();
  CWindowImpl::UnregisterClasses();  // Windows keeps a DLL's window classes, procedure and all
}
