// Holds the launcher's two named events for the whole run: the instance event,
// which keeps a second launcher from running, and the quit event, which
// another program sets to make the launcher end.
#pragma once

#include "launcher/platform/platform.h"

class InstanceGuard {
 public:
  // Creates or opens both events; every outcome is expressed in the fields.
  InstanceGuard();

  bool IsFirst() const { return isFirst; }
  // True only if the quit event is signalled within the timeout. Takes the
  // whole timeout otherwise, even without a quit event.
  bool WaitForQuit(unsigned long timeoutMs);
  // Closes the handles. Called exactly once by the entry function on every
  // path; destroying the guard closes nothing.
  void Release();

 private:
  bool isFirst;
  plat::Handle instanceEvent;
  plat::Handle quitEvent;
};
