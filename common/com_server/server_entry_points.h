#pragma once

#include <windows.h>

#include <span>

#include "common/com_server/class_factory.h"
#include "common/com_server/com_server.h"

// An in-process server DLL defines its tables; server_entry_points.cpp, built into every server
// DLL (kovira_com_server_dll in CMake), turns them into DllMain and the four exports.
std::span<const ClassEntry> ServerClasses();
// What DllRegisterServer writes and DllUnregisterServer takes back.
const ServerDescription& ServerRegistration();
