#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the installer program's command line is made of.
struct InstallerArguments {
  std::wstring installerPath;
  std::wstring descriptorUrl;  // empty when the page gave none
  bool saveXml = false;
  std::wstring savedCopyPath;  // empty when no copy was saved
  int64_t dialogHandle = 0;    // the wait dialog's window, as a signed number
};

// The command line, parts separated by one space: the installer path as it is (unquoted); the
// descriptor URL, when there is one, followed (only when saveXml) by the saved copy's path, even
// an empty one; and last the dialog's handle in decimal.
std::wstring InstallerCommandLine(const InstallerArguments& arguments);

// The text of a result the installer sent: its bytes up to the first zero, and never more than
// size of them, whether or not a terminator follows; empty for a null pointer.
std::string ResultTextWithin(const void* data, size_t size);
