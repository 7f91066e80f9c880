// The launcher's entry function. The platform's start-up code calls it with
// the command tail in UTF-16 (hence the wide entry's name); its return value
// is the process exit code: 0 for every ordinary end, -1 after a failed start.
#pragma once

#include "launcher/platform/platform.h"

constexpr int kExitOk = 0;
constexpr int kExitStartFailed = -1;

extern "C" int Q8_WINAPI wWinMain(void* instance, void* previousInstance,
                                  plat::WideChar* commandTail, int showCommand);
