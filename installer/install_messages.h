#pragma once

#include <windows.h>

// Private messages from the engine's bind-status notifications to the engine window and from the
// engine to the main dialog. The numbers are fixed: both windows use the same ones.
//
// WM_INSTALL_DONE      to the engine: the binding ended (parameters ignored).
//                      to the dialog: wParam non-zero (the class object) when the object arrived;
//                      wParam 0 when the binding ended, lParam then the outcome code below.
// WM_INSTALL_OBJECT    wParam: the class object (only its being non-zero means anything).
// WM_INSTALL_PROGRESS  wParam: the service's status code.
inline constexpr UINT WM_INSTALL_DONE = 0x07E9;
inline constexpr UINT WM_INSTALL_OBJECT = 0x07EA;
inline constexpr UINT WM_INSTALL_PROGRESS = 0x07EB;

// Outcome codes of a row, carried by WM_INSTALL_DONE's lParam: these, or the HRESULT of a failure
// the service reported (when it refused the request, or its binding ended with one).
inline constexpr LONG kOutcomeNoError = 0;
inline constexpr LONG kOutcomeResourceNotFound = -1;  // finding-resource reported twice in a row
inline constexpr LONG kOutcomeHtmlCodeBase = -2;      // the code base is an HTML page
// The binding ended well, but handed over no class factory.
inline constexpr LONG kOutcomeNoClassObject = E_NOINTERFACE;
