// Helpers for end-to-end tests: fresh game folders with the real Q8.exe and
// the test game, launcher processes, and the launcher's message box. Paths and
// texts are UTF-8 here and go to Windows through its wide calls, so folders
// and arguments may be in any script.
#pragma once

#include <windows.h>

#include <memory>
#include <functional>
#include <string>
#include <vector>

// A folder name in many scripts: an emoji outside the Basic Multilingual
// Plane, Cyrillic, a simplified Chinese character, a kanji whose second byte
// in code page 932 is a backslash, and a Latin letter that code page 932
// turns into a plain "e".
constexpr char kAnyScriptFolder[] = u8"Q8 \U0001F3AE \u0418\u0433\u0440\u0430 \u9648 \u8868 \u00E9";

// The folder this test program (and Q8.exe, TestGame.exe) was built into.
std::string BuildDir();
// The Q8.exe under test: the file Q8_E2E_LAUNCHER names (a Windows path), so
// a release's own Q8.exe can be tried, else the one built beside the tests.
std::string LauncherExe();
// The Q8.exe whose file is checked (the one that ships, 32-bit, also when the
// tests run an x86-64 build): the file Q8_E2E_SHIPPED names, else LauncherExe.
std::string ShippedLauncherExe();

// A handle closed when it goes out of scope: a named object a scenario holds
// goes with the scenario, also when a failed ASSERT ends it half-way, and
// cannot mislead the next scenario in the same prefix.
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A job object: the processes put into it and every process they start (a
// child starts in its parent's job). It ends them all when it goes.
class Job {
 public:
  Job();
  ~Job();
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  bool Add(HANDLE process) const;
  // How many processes have been in the job in all: once those put into it
  // have ended, also every process they started.
  DWORD ProcessesEver() const;
  // Waits up to timeoutMs for every process in the job to have ended; true
  // once none runs.
  bool WaitUntilEmpty(DWORD timeoutMs) const;
  // The processes that run in the job: each one's program file and id.
  std::vector<std::string> Running() const;
  // Ends every process in the job and waits until they have gone; answers
  // how many still ran.
  DWORD EndAll() const;

 private:
  HANDLE handle_;
};

// The job every process the harness starts goes into unless it is given one:
// a fresh one for each scenario (scenario_job.cpp), none elsewhere.
void SetScenarioJob(const Job* job);

// Whether this runs under Wine rather than Windows.
bool UnderWine();

// A full path (UTF-8) in the wide form that works past MAX_PATH ("\\?\C:\..."):
// the scenarios' folders may be longer than Windows lets plain paths be.
std::wstring LongPath(const std::string& path);

// The temporary folder, with its final backslash, in UTF-8.
std::string TempDir();

// A launcher process started by the test.
class Process {
 public:
  Process() = default;
  Process(HANDLE process, DWORD id, std::string program)
      : handle_(process), id_(id), program_(std::move(program)) {}
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return handle_ != nullptr; }
  DWORD id() const { return id_; }
  // Waits up to timeoutMs; true with the exit code once it has ended.
  bool Wait(DWORD timeoutMs, DWORD* exitCode) const;
  bool Running() const;
  // Lets a process started suspended run.
  void Resume();
  // User and kernel time the process has used so far, in ms.
  double CpuMs() const;

 private:
  friend class GameFolder;
  HANDLE handle_ = nullptr;
  HANDLE thread_ = nullptr;  // only while suspended
  DWORD id_ = 0;
  std::string program_;
};

// The CPU time, in ms, that the system's own server has used so far for every
// program of this Wine prefix: the work of their system calls, which Windows
// counts to each calling process as its kernel time but Wine does in its
// wineserver. 0 on Windows; -1 when it cannot be read.
double SystemServerCpuMs();

// A fresh temporary folder holding the launcher (under launcherName) and,
// unless told otherwise, the test game (or the game built as gameExe) as
// Q8Main.EXE. With dirLength, the folder's path (without its last backslash)
// is nested to that many bytes; with folderName, the files go into a last
// level of that name. Removed again, with any test game stopped, when it goes
// out of scope.
class GameFolder {
 public:
  explicit GameFolder(const char* launcherName = "Q8.exe", bool withGame = true,
                      std::size_t dirLength = 0, const char* folderName = nullptr,
                      const char* gameExe = "TestGame.exe");
  ~GameFolder();
  GameFolder(const GameFolder&) = delete;
  GameFolder& operator=(const GameFolder&) = delete;

  // announceMs: when the game creates its presence semaphore (-1: never);
  // holdMs: how long it holds it (-1: to the end); lifeMs: how long it runs.
  void ConfigureGame(long announceMs, long holdMs, long lifeMs) const;
  std::string Path(const char* file = "") const { return dir_ + file; }
  // The command tails of the game's starts, in order.
  std::vector<std::string> GameStarts() const;
  // Starts the launcher with arguments after its quoted path, in the given
  // job rather than the scenario's.
  Process StartLauncher(const std::string& arguments = "", bool suspended = false,
                        const Job* job = nullptr) const;
  // Starts the game directly, as a player would restart it.
  Process StartGame() const;
  // Copies a program built beside the tests into the folder as file (removed
  // with the folder) and starts it.
  Process StartCopy(const char* builtExe, const std::string& file);

 private:
  Process Start(const std::string& file, const std::string& arguments, bool suspended,
                const Job* job = nullptr) const;

  std::string dir_;  // with a trailing backslash
  std::vector<std::string> created_;
  std::vector<std::string> extra_;  // files StartCopy put there
  std::string launcher_;
};

// Whether a test game is running, and ending every one of them.
bool TestGameAlive();
void StopTestGames();
// Polls until the test game is there (or gone), up to timeoutMs.
bool WaitForTestGame(bool alive, DWORD timeoutMs);

// Runs a program built beside the tests (such as Q8Quit.exe) to its end and
// answers its exit code.
DWORD RunTool(const char* exe);
// The same with arguments (UTF-8), also answering what it wrote to its
// standard output and error, as bytes.
DWORD RunTool(const char* exe, const std::string& arguments, std::string* output);
// The same, calling atCue once the tool has written the text cue, while it
// runs on.
DWORD RunTool(const char* exe, const std::string& arguments, std::string* output, const char* cue,
              const std::function<void()>& atCue);

// Starts a command line (UTF-8) in a console of its own, as Explorer starts a
// console program on a double-click.
Process StartInOwnConsole(const std::string& commandLine);
// Presses a key in the console of the given process; true once it is pressed.
bool PressKeyInConsoleOf(DWORD processId);

// How long a trivial program takes from its start to its end, in ms, under
// the load of the moment: a bound on something that should be immediate adds
// it, so that it measures the launcher rather than the machine.
DWORD TrivialRunMs();

// A message box of the given process: its caption and text as shown.
struct MessageBoxSeen {
  HWND window = nullptr;
  std::string caption, text;
};
bool WaitForMessageBox(DWORD processId, DWORD timeoutMs, MessageBoxSeen* box);
// Presses the box's OK button.
void PressOk(HWND box);
