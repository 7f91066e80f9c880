// The launcher's entry function. The platform's start-up code calls it; its
// return value is the process exit code: 0 for every ordinary end, -1 after a
// failed start.
#pragma once

#include "launcher/platform/platform.h"

constexpr int kExitOk = 0;
constexpr int kExitStartFailed = -1;

extern "C" int Q8_WINAPI WinMain(void* instance, void* previousInstance, char* commandTail,
                                 int showCommand);
