#include "launcher/presence/announce.h"

#include "q8_presence.h"

PresenceAnnouncement::PresenceAnnouncement() {
  semaphore_ = Q8PresenceBeginNamed(name_, sizeof name_);
}

void PresenceAnnouncement::Release() {
  Q8PresenceEnd(semaphore_);
  semaphore_ = nullptr;
}
