#pragma once

#include <windows.h>

#include "common/bind/bind_status_reader.h"

// The HTTP status code of the response the reader's binding has received; 0 while there is none
// to read (not HTTP, no response yet, or the binding has ended). Under Wine the service reports
// an error response as a success and hands over its body: callers look here.
DWORD HttpStatusOf(const CBindStatusReader& reader);
