#include "common/com_server/com_server.h"

#include <vector>

#include "common/com_server/type_library.h"

namespace {

HRESULT WithModule(const ServerDescription& server, std::vector<Substitution>& all) {
  const std::wstring path = ComModule::Path();
  if (path.empty()) return E_UNEXPECTED;  // ComModule::Init was never called
  all.assign(server.substitutions.begin(), server.substitutions.end());
  all.push_back({L"MODULE", path});
  return S_OK;
}

}  // namespace

HRESULT RegisterServer(const ServerDescription& server) {
  std::vector<Substitution> substitutions;
  HRESULT result = WithModule(server, substitutions);
  if (FAILED(result)) return result;
  result = WriteRows(server.rows, substitutions);
  if (FAILED(result)) return result;
  if (server.typeLibrary) {
    result = RegisterModuleTypeLibrary(ComModule::Instance());
    if (FAILED(result)) (void)RemoveRows(server.rows, substitutions);
  }
  return result;
}

HRESULT UnregisterServer(const ServerDescription& server) {
  std::vector<Substitution> substitutions;
  HRESULT result = WithModule(server, substitutions);
  if (FAILED(result)) return result;
  if (server.typeLibrary) result = UnregisterModuleTypeLibrary(ComModule::Instance());
  const HRESULT rows = RemoveRows(server.rows, substitutions);
  return FAILED(result) ? result : rows;
}
