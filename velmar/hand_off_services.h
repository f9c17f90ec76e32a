#pragma once

#include <windows.h>

#include "common/user_prompt.h"
#include "velmar/hand_off_platform.h"
#include "velmar/trust_provider.h"

// How long the wait dialog waits for the installer program.
struct HandOffTiming {
  UINT startWaitMs = 8000;     // for its start message
  UINT aliveCheckMs = 5000;    // between looks at its window
  UINT replyTimeoutMs = 2000;  // for it to take a reply: a hung installer cannot hang the page
};

// What the hand-off takes from the platform: the system's unless a test says otherwise.
struct HandOffServices {
  IHandOffPlatform* platform = &SystemHandOffPlatform();
  ITrustProvider* trust = &SystemTrustProvider();
  IUserPrompt* prompt = &SystemUserPrompt();
  HKEY classesRoot = HKEY_CLASSES_ROOT;  // where components' registrations are looked up
  HandOffTiming timing;
};
