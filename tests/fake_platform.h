// A fake platform for host tests: a simulated millisecond clock, a table of
// named kernel objects with reference counts, scripted launches, recorded
// message boxes and a count of the handles the launcher holds open.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "launcher/platform/platform.h"

namespace fake {

// kDeniedSemaphore: a semaphore whose descriptor grants the launcher nothing,
// as one made by a program with more rights.
enum class Type { kEvent, kSemaphore, kMutex, kDeniedSemaphore };

enum class Op {
  kCreateEvent,
  kLastError,
  kWait,
  kOpenSemaphore,
  kClose,
  kModulePath,  // the ANSI and the UTF-16 call alike
  kTick,
  kSleep,
  kLaunch,
  kMessageBox,
  kCount
};

struct Launch {
  std::uint32_t cbSize;
  unsigned long mask;
  bool hasOwner, hasDirectory, hasExtraFields;
  std::u16string verb, file, parameters;
  int show;
  std::uint64_t at;  // simulated ms since Reset
};

struct Message {
  std::u16string text, caption;
  unsigned type;
  std::uint64_t at;
};

// Clears everything: no objects, no handles, the clock at 0 ms elapsed with
// the tick counter starting at startTick.
void Reset(plat::Tick startTick = 1000);

// Simulated time since Reset, in ms (never wraps), and what the tick reads.
std::uint64_t Elapsed();
// Runs action when the simulated clock reaches atMs (elapsed since Reset).
void At(std::uint64_t atMs, std::function<void()> action);

// Named objects held by other programs (not counted as the launcher's handles).
void Hold(const std::string& name, Type type);
void Drop(const std::string& name);
void Signal(const std::string& name);
bool Exists(const std::string& name);
int References(const std::string& name);

// The launcher's environment.
// The launcher's path: the ANSI call reports path, the UTF-16 call its bytes
// widened one to one, unless a UTF-16 path of its own is set after it.
void SetModulePath(const std::string& path);
void SetWideModulePath(const std::u16string& path);
// Older systems cut a path that does not fit to the full capacity and leave
// it unterminated; newer ones cut it one byte shorter and terminate it.
void SetUnterminatedTruncation(bool unterminated);
// Makes the module-path call fail (answer 0) after writing part of a path,
// unterminated, into the buffer.
void FailModulePath();
// The next CreateNamedEvent calls answer none with this last error, in order.
void FailNextEventCreation(unsigned long error);

// Makes the given call (counted from 1) of an operation fail the way the real
// call can: event creation and semaphore opening answer none, the wait
// answers kWaitFailed, the module path 0 characters, the launch false with
// a last error; the last error is wrong, the tick jumps hours ahead, the
// sleep wakes at once.
void FailCall(Op op, int call);
// Each semaphore probe takes this long (0 at first): a slow system.
void SetProbeMs(std::uint64_t ms);
// Names the run in the message printed if it never ends.
void SetRunLabel(const std::string& label);

// Scripted launch results, used in order; when none is left a launch succeeds
// and does nothing else.
void ScriptLaunch(bool succeeds, unsigned long error = 0, std::function<void()> onStart = {});

// What happened.
const std::vector<Launch>& Launches();
const std::vector<Message>& Messages();
int OpenHandles();
int BadCloses();
int Calls(Op op);
// Every semaphore name the launcher tried to open, in order, and when.
const std::vector<std::string>& ProbedNames();
const std::vector<std::uint64_t>& ProbeTimes();

}  // namespace fake
