#pragma once

#include <windows.h>

// The window messages between the wait dialog and the installer program, and the tags that
// WM_COPYDATA carries as its wParam. The numbers are fixed: the installer program is built
// elsewhere against them.
inline constexpr UINT UM_GET_INFO_XML = WM_USER + 110;  // installer asks for InstallerInfoXML
inline constexpr WPARAM CD_INFO_XML = WM_USER + 111;    // its reply
inline constexpr UINT UM_INSTALLER_NOTIFY = WM_USER + 112;
inline constexpr UINT UM_INSTALL_SUCCEEDED = WM_USER + 113;
inline constexpr UINT UM_INSTALLER_STARTED = WM_USER + 114;  // wParam: the installer's window
inline constexpr WPARAM CD_INSTALL_RESULT = WM_USER + 115;   // dwData: the result code
inline constexpr UINT UM_GET_BASE_URL = WM_USER + 116;       // installer asks for the page's base
inline constexpr WPARAM CD_BASE_URL = WM_USER + 117;         // its reply
inline constexpr UINT UM_INSTALL_END_SILENT = WM_USER + 119;

// Results of the hand-off besides the control's message numbers and the installer's own codes.
inline constexpr LONG kHandOffNothingToUpdate = -2;
inline constexpr LONG kHandOffNoEvent = -1;
inline constexpr LONG kHandOffSucceeded = 0;
