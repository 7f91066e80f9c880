#include "launcher/presence/announce.h"

#include "q8_presence.h"

PresenceAnnouncement::PresenceAnnouncement() {
  BuildOwnPresenceName(name_);
  semaphore_ = Q8PresenceBegin();
}

void PresenceAnnouncement::Release() {
  Q8PresenceEnd(semaphore_);
  semaphore_ = nullptr;
}
