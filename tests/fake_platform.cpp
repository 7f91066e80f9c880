#include "tests/fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>

namespace fake {
namespace {

struct Object {
  Type type;
  int references;
  bool signalled;
};

// Windows' own numbers, written out rather than taken from the launcher's
// platform header, so that a wrong value there fails the tests.
constexpr unsigned long kWinErrorAlreadyExists = 183;
constexpr unsigned long kWinWaitObject0 = 0;
constexpr unsigned long kWinWaitTimeout = 0x102;
constexpr unsigned long kWinWaitFailed = 0xFFFFFFFF;

// No scenario runs for six simulated hours: one that does has lost its way,
// and stopping the test beats hanging it.
constexpr std::uint64_t kRunawayMs = 6ull * 3600 * 1000;

struct Scheduled {
  std::uint64_t at;
  std::uint64_t order;
  std::function<void()> action;
};

struct ScriptedLaunch {
  bool succeeds;
  unsigned long error;
  std::function<void()> onStart;
};

struct State {
  std::uint64_t elapsed = 0;
  plat::Tick startTick = 0;
  std::uint64_t scheduleOrder = 0;
  std::vector<Scheduled> scheduled;
  std::map<std::string, Object> objects;
  std::map<std::uintptr_t, std::string> handles;
  std::uintptr_t nextHandle = 0x100;
  unsigned long lastError = 0;
  std::string modulePath;
  std::u16string wideModulePath;
  bool modulePathFails = false;
  bool unterminatedTruncation = false;
  int failOp = -1, failCall = 0;
  std::string runLabel = "unnamed";
  std::uint64_t tickJump = 0;
  std::deque<unsigned long> eventFailures;
  std::deque<ScriptedLaunch> launchScript;
  std::vector<Launch> launches;
  std::vector<Message> messages;
  std::vector<std::string> probed;
  std::vector<std::uint64_t> probeTimes;
  std::uint64_t probesWithoutTimePassing = 0;
  std::uint64_t probeMs = 0;
  int badCloses = 0;
  int calls[static_cast<int>(Op::kCount)] = {};
};

State& S() {
  static State state;
  return state;
}

// Counts a call; answers true when it is the one chosen to fail.
bool Count(Op op) {
  const int call = ++S().calls[static_cast<int>(op)];
  return S().failOp == static_cast<int>(op) && S().failCall == call;
}

// Runs every action due at or before the current time, earliest first.
void RunDue() {
  for (;;) {
    auto& list = S().scheduled;
    auto next = std::min_element(list.begin(), list.end(), [](const auto& a, const auto& b) {
      return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    if (next == list.end() || next->at > S().elapsed) return;
    std::function<void()> action = std::move(next->action);
    list.erase(next);
    action();
  }
}

std::uint64_t NextDue() {
  std::uint64_t due = UINT64_MAX;
  for (const auto& s : S().scheduled) due = std::min(due, s.at);
  return due;
}

// Advances the clock by ms, stopping early (and answering true) as soon as
// stop() holds after the actions due at some instant have run.
bool Advance(std::uint64_t ms, const std::function<bool()>& stop) {
  const std::uint64_t end = S().elapsed + ms;
  if (end > kRunawayMs) {
    std::fprintf(stderr, "fake platform: the run (%s) has not ended after six simulated hours\n",
                 S().runLabel.c_str());
    std::abort();
  }
  for (;;) {
    RunDue();
    if (stop && stop()) return true;
    if (S().elapsed >= end) return false;
    S().elapsed = std::min(end, std::max(S().elapsed + 1, NextDue()));
  }
}

plat::Handle NewHandle(const std::string& name) {
  const std::uintptr_t id = S().nextHandle;
  S().nextHandle += 4;
  S().handles[id] = name;
  ++S().objects[name].references;
  return reinterpret_cast<plat::Handle>(id);
}

void Unreference(const std::string& name) {
  auto it = S().objects.find(name);
  if (it != S().objects.end() && --it->second.references <= 0) S().objects.erase(it);
}

}  // namespace

void Reset(plat::Tick startTick) {
  S() = State();
  S().startTick = startTick;
}

std::uint64_t Elapsed() {
  return S().elapsed;
}

void At(std::uint64_t atMs, std::function<void()> action) {
  S().scheduled.push_back({atMs, S().scheduleOrder++, std::move(action)});
}

void Hold(const std::string& name, Type type) {
  auto it = S().objects.find(name);
  if (it == S().objects.end()) {
    S().objects[name] = Object{type, 1, false};
  } else {
    ++it->second.references;
  }
}

void Drop(const std::string& name) {
  Unreference(name);
}

void Signal(const std::string& name) {
  auto it = S().objects.find(name);
  if (it != S().objects.end()) it->second.signalled = true;
}

bool Exists(const std::string& name) {
  return S().objects.count(name) != 0;
}

int References(const std::string& name) {
  auto it = S().objects.find(name);
  return it == S().objects.end() ? 0 : it->second.references;
}

void SetModulePath(const std::string& path) {
  S().modulePath = path;
  S().wideModulePath.assign(path.begin(), path.end());
  for (char16_t& c : S().wideModulePath) c &= 0xFF;  // a byte, not a negative char
}
void SetWideModulePath(const std::u16string& path) {
  S().wideModulePath = path;
}
void SetUnterminatedTruncation(bool unterminated) {
  S().unterminatedTruncation = unterminated;
}
void FailModulePath() {
  S().modulePathFails = true;
}
void FailNextEventCreation(unsigned long error) {
  S().eventFailures.push_back(error);
}

void ScriptLaunch(bool succeeds, unsigned long error, std::function<void()> onStart) {
  S().launchScript.push_back({succeeds, error, std::move(onStart)});
}

const std::vector<Launch>& Launches() {
  return S().launches;
}
const std::vector<Message>& Messages() {
  return S().messages;
}
int OpenHandles() {
  return static_cast<int>(S().handles.size());
}
int BadCloses() {
  return S().badCloses;
}
int Calls(Op op) {
  return S().calls[static_cast<int>(op)];
}
void SetProbeMs(std::uint64_t ms) {
  S().probeMs = ms;
}
void SetRunLabel(const std::string& label) {
  S().runLabel = label;
}

void FailCall(Op op, int call) {
  S().failOp = static_cast<int>(op);
  S().failCall = call;
}

const std::vector<std::string>& ProbedNames() {
  return S().probed;
}
const std::vector<std::uint64_t>& ProbeTimes() {
  return S().probeTimes;
}

}  // namespace fake

// The platform operations, as the launcher sees them.
namespace plat {

using fake::Op;
using fake::S;

Handle CreateNamedEvent(const char* name) {
  if (fake::Count(Op::kCreateEvent)) S().eventFailures.push_front(1450);  // no resources
  if (!S().eventFailures.empty()) {
    S().lastError = S().eventFailures.front();
    S().eventFailures.pop_front();
    return nullptr;
  }
  auto it = S().objects.find(name);
  if (it != S().objects.end()) {
    if (it->second.type != fake::Type::kEvent) {
      S().lastError = 6;  // ERROR_INVALID_HANDLE: the name belongs to another type
      return nullptr;
    }
    S().lastError = fake::kWinErrorAlreadyExists;
    return fake::NewHandle(name);
  }
  S().objects[name] = fake::Object{fake::Type::kEvent, 0, false};
  S().lastError = 0;
  return fake::NewHandle(name);
}

unsigned long LastError() {
  // A wrong answer is this call's only failure: a value left by something else.
  if (fake::Count(Op::kLastError))
    return S().lastError == fake::kWinErrorAlreadyExists ? 0 : fake::kWinErrorAlreadyExists;
  return S().lastError;
}

unsigned long WaitOne(Handle handle, unsigned long milliseconds) {
  const bool fails = fake::Count(Op::kWait);
  auto h = S().handles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (fails || h == S().handles.end()) {
    S().lastError = 6;
    return fake::kWinWaitFailed;
  }
  const std::string name = h->second;
  S().probesWithoutTimePassing = 0;
  const bool signalled = fake::Advance(milliseconds, [&name] {
    auto it = S().objects.find(name);
    return it != S().objects.end() && it->second.signalled;
  });
  return signalled ? fake::kWinWaitObject0 : fake::kWinWaitTimeout;
}

Handle OpenNamedSemaphore(const char* name) {
  const bool fails = fake::Count(Op::kOpenSemaphore);
  // Opening an object takes a little time: a loop that probes without ever
  // waiting still sees the clock move, 1 ms every thousand probes.
  if (++S().probesWithoutTimePassing >= 1000) {
    S().probesWithoutTimePassing = 0;
    fake::Advance(1, {});
  }
  if (S().probeMs > 0) fake::Advance(S().probeMs, {});
  S().probed.push_back(name);
  S().probeTimes.push_back(S().elapsed);
  auto it = S().objects.find(name);
  if (it == S().objects.end()) {
    S().lastError = 2;
    return nullptr;
  }
  if (!fails && it->second.type == fake::Type::kDeniedSemaphore) {
    S().lastError = 5;  // ERROR_ACCESS_DENIED
    return nullptr;
  }
  if (fails || it->second.type != fake::Type::kSemaphore) {
    S().lastError = 6;
    return nullptr;
  }
  return fake::NewHandle(name);
}

void CloseHandle(Handle handle) {
  fake::Count(Op::kClose);
  auto h = S().handles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (h == S().handles.end()) {
    ++S().badCloses;
    return;
  }
  const std::string name = h->second;
  S().handles.erase(h);
  fake::Unreference(name);
}

namespace {

// Both module-path calls: like the real ones, a path that does not fit is cut
// to capacity - 1 characters and terminated (or, as older systems do, to
// capacity characters without a terminator), and the answer is the capacity.
template <typename Char>
unsigned long ReportPath(const std::basic_string<Char>& path, Char* buffer,
                         unsigned long capacity) {
  const bool fails = fake::Count(Op::kModulePath);
  if (fails || S().modulePathFails) {
    // A failed call can leave part of a path behind, unterminated, with a
    // folder and an extension in it: the answer says it failed, not the buffer.
    constexpr char kPartialPath[] = "C:\\Games\\Q8\\Q8.e";
    const unsigned long written = std::min<unsigned long>(capacity, sizeof kPartialPath - 1);
    std::copy(kPartialPath, kPartialPath + written, buffer);
    S().lastError = 122;
    return 0;
  }
  const unsigned long length = static_cast<unsigned long>(path.size());
  if (capacity == 0) return 0;
  if (length < capacity) {
    std::copy(path.c_str(), path.c_str() + length + 1, buffer);
    return length;
  }
  const unsigned long kept = S().unterminatedTruncation ? capacity : capacity - 1;
  std::copy(path.data(), path.data() + kept, buffer);
  if (kept < capacity) buffer[kept] = Char(0);
  S().lastError = 122;
  return capacity;
}

}  // namespace

unsigned long OwnModulePath(char* buffer, unsigned long capacity) {
  return ReportPath(S().modulePath, buffer, capacity);
}

unsigned long OwnModulePathWide(WideChar* buffer, unsigned long capacity) {
  return ReportPath(S().wideModulePath, buffer, capacity);
}

Tick TickCount() {
  // The tick has no failure, but it can jump: after a hibernation it is hours
  // further on, from that read onwards.
  if (fake::Count(Op::kTick)) S().tickJump += 3ull * 3600 * 1000;
  return static_cast<Tick>(S().startTick + S().elapsed + S().tickJump);
}

void SleepMs(unsigned long milliseconds) {
  // A sleep has no failure either; the nearest is waking at once.
  if (fake::Count(Op::kSleep)) return;
  S().probesWithoutTimePassing = 0;
  fake::Advance(milliseconds, {});
}

bool ShellExecuteFile(ShellExecuteInfo* info) {
  const bool fails = fake::Count(Op::kLaunch);
  fake::Launch record;
  record.cbSize = info->cbSize;
  record.mask = info->fMask;
  record.hasOwner = info->hwnd != nullptr;
  record.hasDirectory = info->lpDirectory != nullptr;
  record.hasExtraFields = info->hInstApp || info->lpIDList || info->lpClass || info->hkeyClass ||
                          info->dwHotKey || info->hIconOrMonitor || info->hProcess;
  record.verb = info->lpVerb ? info->lpVerb : u"(null)";
  record.file = info->lpFile ? info->lpFile : u"(null)";
  record.parameters = info->lpParameters ? info->lpParameters : u"(null)";
  record.show = info->nShow;
  record.at = S().elapsed;
  S().launches.push_back(record);

  fake::ScriptedLaunch scripted{true, 0, {}};
  if (!S().launchScript.empty()) {
    scripted = std::move(S().launchScript.front());
    S().launchScript.pop_front();
  }
  if (fails) scripted = {false, 1155, {}};
  if (!scripted.succeeds) {
    S().lastError = scripted.error;
    return false;
  }
  if (scripted.onStart) scripted.onStart();
  return true;
}

void ShowMessage(const WideChar* text, const WideChar* caption, unsigned type) {
  fake::Count(Op::kMessageBox);
  S().messages.push_back({text, caption, type, S().elapsed});
}

}  // namespace plat
