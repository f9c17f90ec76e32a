#pragma once

#include <string>

#include "common/window/dialog_impl.h"

// The About box: the program's name and version.
class CAboutDlg : public CDialogImpl {
 public:
  explicit CAboutDlg(std::wstring versionText);

 protected:
  BEGIN_MSG_MAP(CAboutDlg)
  COMMAND_ID_HANDLER(IDOK, OnClose)
  COMMAND_ID_HANDLER(IDCANCEL, OnClose)
  CHAIN_MSG_MAP(CDialogImpl)
  END_MSG_MAP()

  void OnInitDialog() override;

 private:
  void OnClose() { EndDialog(IDOK); }

  std::wstring versionText_;
};
