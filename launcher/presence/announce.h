// For the game's and the companion's developers: announce to the launcher
// that this program runs.
//
//   #include "launcher/presence/announce.h"
//
//   PresenceAnnouncement presence;  // as soon as the program is up
//   ...                             // the launcher sees it while it lives
//   presence.Release();             // or let it go out of scope
//
// The semaphore's name comes from this program's own path by the same rule
// the launcher probes with: "$$s$$" and the lowered file name, so the game
// must be the file the launcher expects ("Q8Main.EXE" beside Q8.exe). It is
// built on q8_presence.h (Q8PresenceBeginNamed), which C programs use directly.
#pragma once

#include "launcher/presence/naming.h"

class PresenceAnnouncement {
 public:
  // Creates (or opens) the presence semaphore and holds it.
  PresenceAnnouncement();
  ~PresenceAnnouncement() { Release(); }
  PresenceAnnouncement(const PresenceAnnouncement&) = delete;
  PresenceAnnouncement& operator=(const PresenceAnnouncement&) = delete;

  bool Holding() const { return semaphore_ != nullptr; }
  // The name held (or that could not be created); "" without the program's path.
  const char* Name() const { return name_; }
  // Stops announcing; the launcher no longer sees this program.
  void Release();

 private:
  char name_[Q8_PRESENCE_NAME_SIZE];
  void* semaphore_;
};
