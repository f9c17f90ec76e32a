#include "common/user_prompt.h"

namespace {

class SystemPrompt final : public IUserPrompt {
 public:
  int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) override {
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), style);
  }
};

}  // namespace

IUserPrompt& SystemUserPrompt() {
  static SystemPrompt prompt;
  return prompt;
}
