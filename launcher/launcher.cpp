#include "launcher/launcher.h"

#include "launcher/format.h"
#include "launcher/instance_guard/instance_guard.h"
#include "launcher/launch.h"
#include "launcher/presence/presence.h"
#include "launcher/watch.h"

namespace {

int FailStart(InstanceGuard& guard, const plat::WideChar* message) {
  plat::ShowMessage(message, kMessageCaption, plat::kMbIconError | plat::kMbOk);
  guard.Release();
  return kExitStartFailed;
}

}  // namespace

extern "C" int Q8_WINAPI wWinMain(void*, void*, plat::WideChar* commandTail, int) {
  const plat::WideChar* tail = commandTail != nullptr ? commandTail : u"";

  InstanceGuard guard;
  if (!guard.IsFirst()) {
    guard.Release();
    return kExitOk;
  }

  const bool gameAlreadyRunning = IsGameRunning();
  plat::WideChar target[kTargetBufferSize];
  BuildTargetPath(target);

  if (!gameAlreadyRunning) {
    plat::WideChar message[kMessageBufferSize];
    if (!LaunchGame(target, tail)) {
      plat::WideChar hex[11];
      const plat::WideChar* error = ErrorName(plat::LastError(), hex);
      FormatText(message, kMessageBufferSize, kLaunchFailedFormat, target, error);
      return FailStart(guard, message);
    }
    if (!WaitForGameStartup()) {
      FormatText(message, kMessageBufferSize, kTimedOutFormat, target);
      return FailStart(guard, message);
    }
  }

  WatchGame(guard);
  guard.Release();
  return kExitOk;
}
