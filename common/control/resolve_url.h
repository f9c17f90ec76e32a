#pragma once

#include <windows.h>

#include <oleidl.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <string>

// The bind host of the page hosting a control: SID_IBindHost through the client site's
// IServiceProvider. Without a site, or a site that offers none, the result is E_FAIL and `host`
// is untouched.
HRESULT PageBindHost(IOleClientSite* site, Microsoft::WRL::ComPtr<IBindHost>& host);

// The absolute form of a URL that may be relative to the page hosting a control, as the page's
// bind host (SID_IBindHost through the client site's IServiceProvider) makes it. Without a site
// or a bind host the result is E_FAIL; on any failure `absolute` is untouched.
HRESULT ResolvePageUrl(IOleClientSite* site, const wchar_t* url, std::wstring& absolute);
