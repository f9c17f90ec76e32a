#include "velmar/core/hand_off_protocol.h"

#include <cstring>

std::wstring InstallerCommandLine(const InstallerArguments& arguments) {
  std::wstring line = arguments.installerPath;
  if (!arguments.descriptorUrl.empty()) {
    line += L' ';
    line += arguments.descriptorUrl;
    if (arguments.saveXml) {
      line += L' ';
      line += arguments.savedCopyPath;
    }
  }
  line += L' ';
  line += std::to_wstring(arguments.dialogHandle);
  return line;
}

std::string ResultTextWithin(const void* data, size_t size) {
  if (data == nullptr || size == 0) return {};
  const char* text = static_cast<const char*>(data);
  const void* end = std::memchr(text, '\0', size);
  return std::string(text, end != nullptr ? static_cast<const char*>(end) : text + size);
}
