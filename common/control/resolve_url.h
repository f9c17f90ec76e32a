#pragma once

#include <windows.h>

#include <oleidl.h>

#include <string>

// The absolute form of a URL that may be relative to the page hosting a control, as the page's
// bind host (SID_IBindHost through the client site's IServiceProvider) makes it. Without a site
// or a bind host the result is E_FAIL; on any failure `absolute` is untouched.
HRESULT ResolvePageUrl(IOleClientSite* site, const wchar_t* url, std::wstring& absolute);
