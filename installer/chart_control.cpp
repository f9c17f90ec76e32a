#include "installer/chart_control.h"

#include <windows.h>

#include <vector>

#include "installer/core/catalog_table.h"

namespace {

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

CChartControl::CChartControl(IRemovalPlatform& platform, std::wstring systemFolder)
    : platform_(platform), systemFolder_(std::move(systemFolder)) {
  if (const size_t row = ChartControlRow(); row != kCatalogSize) {
    const std::vector<std::wstring> names = NamesIn(kCatalogRows[row].companions);
    controlName_ = names.at(0);
    programName_ = names.at(1);
  }
}

void CChartControl::Register(const std::wstring& controlSource, const std::wstring& programSource) {
  if (controlName_.empty()) return;
  // The program resolves the control in its own folder, so both go to the same place.
  ::CopyFileW(controlSource.c_str(), (systemFolder_ + L"\\" + controlName_).c_str(), FALSE);
  ::CopyFileW(programSource.c_str(), (systemFolder_ + L"\\" + programName_).c_str(), FALSE);
  platform_.ShellOpenAndWait(programName_, controlName_, systemFolder_);
}

void CChartControl::Remove() {
  if (controlName_.empty()) return;
  const std::wstring control = systemFolder_ + L"\\" + controlName_;
  const std::wstring program = systemFolder_ + L"\\" + programName_;
  const bool controlExists = Exists(control);
  const bool programExists = Exists(program);
  if (controlExists && programExists) {
    // Only the pair can unregister the control; a lone file is just deleted.
    platform_.ShellOpenAndWait(programName_, L"/u " + controlName_, systemFolder_);
    ::DeleteFileW(control.c_str());
    ::DeleteFileW(program.c_str());
  } else if (controlExists) {
    ::DeleteFileW(control.c_str());
  } else if (programExists) {
    ::DeleteFileW(program.c_str());
  }
}
