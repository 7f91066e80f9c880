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
  if (quitEvent == nullptr) return false;
  return plat::WaitOne(quitEvent, timeoutMs) == plat::kWaitObject0;
}

void InstanceGuard::Release() {
  if (instanceEvent != nullptr) plat::CloseHandle(instanceEvent);
  if (quitEvent != nullptr) plat::CloseHandle(quitEvent);
}
