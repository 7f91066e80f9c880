#include "launcher/instance_guard/instance_guard.h"

#include "launcher/instance_guard/event_names.h"

InstanceGuard::InstanceGuard() : isFirst(false), instanceEvent(nullptr), quitEvent(nullptr) {
  instanceEvent = plat::CreateNamedEvent(kInstanceEventName);
  if (instanceEvent != nullptr) {
    if (plat::LastError() == plat::kErrorAlreadyExists) {
      // Another launcher (or any program holding the name) was there first.
      plat::CloseHandle(instanceEvent);
      instanceEvent = nullptr;
    } else {
      isFirst = true;
    }
  }
  // Opened whether or not this launcher is first; a failure leaves no handle.
  quitEvent = plat::CreateNamedEvent(kQuitEventName);
}

bool InstanceGuard::WaitForQuit(unsigned long timeoutMs) {
  // Without a quit event, or when the wait itself fails, the time is slept out
  // all the same: the caller's loop relies on this call for its pace and must
  // not spin, taking a core from the game.
  const unsigned long result =
      quitEvent != nullptr ? plat::WaitOne(quitEvent, timeoutMs) : plat::kWaitFailed;
  if (result == plat::kWaitFailed) plat::SleepMs(timeoutMs);
  return result == plat::kWaitObject0;
}

void InstanceGuard::Release() {
  if (instanceEvent != nullptr) plat::CloseHandle(instanceEvent);
  if (quitEvent != nullptr) plat::CloseHandle(quitEvent);
}
