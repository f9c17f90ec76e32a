#include "common/bind/http_status.h"

#include <urlmon.h>
#include <wininet.h>
#include <wrl/client.h>

DWORD HttpStatusOf(const CBindStatusReader& reader) {
  Microsoft::WRL::ComPtr<IWinInetHttpInfo> info;
  if (FAILED(reader.QueryBinding(IID_PPV_ARGS(&info)))) return 0;
  DWORD status = 0;
  DWORD size = sizeof(status);
  DWORD flags = 0;
  if (FAILED(info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                             &flags, nullptr))) {
    return 0;
  }
  return status;
}
