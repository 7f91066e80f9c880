#include "launcher/launcher.h"

#include "launcher/format.h"
#include "launcher/instance_guard/instance_guard.h"
#include "launcher/launch.h"
#include "launcher/presence/presence.h"
#include "launcher/watch.h"

namespace {

int FailStart(InstanceGuard& guard, const char* message) {
  plat::ShowMessage(message, kMessageCaption, plat::kMbIconError | plat::kMbOk);
  guard.Release();
  return kExitStartFailed;
}

}  // namespace

extern "C" int Q8_WINAPI WinMain(void*, void*, char* commandTail, int) {
  const char* tail = commandTail != nullptr ? commandTail : "";

  InstanceGuard guard;
  if (!guard.IsFirst()) {
    guard.Release();
    return kExitOk;
  }

  const bool gameAlreadyRunning = IsGameRunning();
  char target[kTargetBufferSize];
  BuildTargetPath(target);

  if (!gameAlreadyRunning) {
    char message[kMessageBufferSize];
    if (!LaunchGame(target, tail)) {
      char hex[11];
      const char* error = ErrorName(plat::LastError(), hex);
      FormatText(message, sizeof message, kLaunchFailedFormat, target, error);
      return FailStart(guard, message);
    }
    if (!WaitForGameStartup()) {
      FormatText(message, sizeof message, kTimedOutFormat, target);
      return FailStart(guard, message);
    }
  }

  WatchGame(guard);
  guard.Release();
  return kExitOk;
}
