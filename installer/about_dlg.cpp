#include "installer/about_dlg.h"

#include "installer/resource.h"

CAboutDlg::CAboutDlg(std::wstring versionText)
    : CDialogImpl(IDD_ABOUTBOX), versionText_(std::move(versionText)) {}

void CAboutDlg::OnInitDialog() {
  ::SetDlgItemTextW(Handle(), IDC_ABOUT_VERSION, versionText_.c_str());
}
