#include "launcher/presence/announce.h"

#include <windows.h>

PresenceAnnouncement::PresenceAnnouncement() {
  BuildOwnPresenceName(name_);
  semaphore_ = CreateSemaphoreA(nullptr, 0, 1, name_);
}

void PresenceAnnouncement::Release() {
  if (semaphore_ != nullptr) CloseHandle(semaphore_);
  semaphore_ = nullptr;
}
