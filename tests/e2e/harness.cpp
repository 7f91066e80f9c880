#include "tests/e2e/harness.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/test_game_events.h"
#include "tools/utf8.h"

std::string BuildDir() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::string dir = Utf8(path);
  return dir.substr(0, dir.rfind('\\') + 1);
}

namespace {

std::string PathFromEnvironment(const wchar_t* variable, const std::string& otherwise) {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetEnvironmentVariableW(variable, path, MAX_PATH + 1);
  if (length > 0 && length <= MAX_PATH) return Utf8(path);
  return otherwise;
}

}  // namespace

std::string LauncherExe() {
  return PathFromEnvironment(L"Q8_E2E_LAUNCHER", BuildDir() + "Q8.exe");
}

std::string ShippedLauncherExe() {
  return PathFromEnvironment(L"Q8_E2E_SHIPPED", LauncherExe());
}

Process::Process(Process&& other) noexcept
    : handle_(other.handle_), thread_(other.thread_), id_(other.id_), program_(other.program_) {
  other.handle_ = nullptr;
  other.thread_ = nullptr;
}

Process& Process::operator=(Process&& other) noexcept {
  std::swap(handle_, other.handle_);
  std::swap(thread_, other.thread_);
  std::swap(id_, other.id_);
  std::swap(program_, other.program_);
  return *this;
}

void Process::Resume() {
  if (thread_ != nullptr) {
    ResumeThread(thread_);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
}

Process::~Process() {
  Resume();
  if (handle_ != nullptr) {
    if (Running()) TerminateProcess(handle_, 99);
    CloseHandle(handle_);
  }
}

bool Process::Wait(DWORD timeoutMs, DWORD* exitCode) const {
  if (WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(handle_, exitCode);
  return true;
}

bool Process::Running() const {
  return WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

namespace {

// Whether the Linux process whose /proc folder is dir belongs to this Wine
// prefix: tests run side by side in prefixes of their own, where the same
// Windows path can name another test's launcher.
bool InThisPrefix(const std::string& dir) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr) return true;
  std::ifstream variables(dir + "environ", std::ios::binary);
  std::string entry;
  while (std::getline(variables, entry, '\0')) {
    if (entry == std::string("WINEPREFIX=") + prefix) return true;
  }
  return false;
}

// The file name of a Linux command line's program, after its last slash.
std::string BaseName(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

// Under Wine, GetProcessTimes reports nothing for other processes; the Linux
// process behind a Windows one shows its real CPU time in /proc. Answers the
// CPU time of the first process of this prefix whose command line's program
// is(program), or -1 when there is none.
double WineCpuMs(const std::function<bool(const std::string&)>& is) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return -1;
  double ms = -1;
  do {
    const std::string dir = std::string("Z:\\proc\\") + entry.cFileName + "\\";
    if (entry.cFileName[0] < '1' || entry.cFileName[0] > '9') continue;
    std::ifstream cmdline(dir + "cmdline", std::ios::binary);
    std::string first;
    std::getline(cmdline, first, '\0');
    if (!is(first) || !InThisPrefix(dir)) continue;
    std::ifstream statFile(dir + "stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    unsigned long long user = 0, kernel = 0;
    for (int i = 3; i < 14; ++i) fields >> skip;  // state .. cmajflt
    fields >> user >> kernel;
    ms = (user + kernel) * 10.0;  // clock ticks of 10 ms
    break;
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return ms;
}

}  // namespace

double Process::CpuMs() const {
  // A Windows program's command line is its Windows path.
  if (UnderWine()) {
    return WineCpuMs([this](const std::string& first) {
      return _stricmp(first.c_str(), program_.c_str()) == 0;
    });
  }
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(handle_, &created, &exited, &kernel, &user)) return -1;
  auto ms = [](const FILETIME& t) {
    return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

double SystemServerCpuMs() {
  if (!UnderWine()) return 0;
  return WineCpuMs([](const std::string& first) {
    return BaseName(first) == "wineserver" || BaseName(first) == "wineserver64";
  });
}

// Closing the job ends what is left in it: a test program that CTest kills
// for its time-out leaves no launcher in a message box, and no game, to spoil
// the named objects of the lines after it in the same session.
Job::Job() : handle_(CreateJobObjectW(nullptr, nullptr)) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(handle_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

Job::~Job() {
  EndAll();
  CloseHandle(handle_);
}

bool Job::Add(HANDLE process) const {
  return AssignProcessToJobObject(handle_, process) != FALSE;
}

namespace {

JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr);
  return info;
}

const Job* scenarioJob = nullptr;

// Starts a program suspended and puts it into the job (the scenario's, when
// none is given) before it runs a single instruction, so that whatever it
// starts is in the job too; then lets it run, unless it is to stay suspended.
// A start that fails with ERROR_INTERNAL_ERROR is a new process that died in
// Wine's own bring-up, before the call returned and so before a single
// instruction of the program ran (seen once, in a storm of launchers in CI):
// nothing of the program is judged by it, and it is tried again.
bool StartInJob(std::wstring commandLine, const wchar_t* dir, DWORD flags, BOOL inherit,
                STARTUPINFOW* startup, const Job* job, bool suspended, PROCESS_INFORMATION* info) {
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, inherit,
                       flags | CREATE_SUSPENDED, nullptr, dir, startup, info)) {
      break;
    }
    const DWORD error = GetLastError();
    std::fprintf(stderr, "harness: could not start %s: error %lu\n",
                 Utf8(commandLine.c_str()).c_str(), error);
    if (error != ERROR_INTERNAL_ERROR || attempt == 3) return false;
    Sleep(100);
  }
  if (job == nullptr) job = scenarioJob;
  if (job != nullptr && !job->Add(info->hProcess)) {
    std::fprintf(stderr, "harness: could not put %s into a job: error %lu\n",
                 Utf8(commandLine.c_str()).c_str(), GetLastError());
    // Outside the job it would outlive the scenario.
    TerminateProcess(info->hProcess, 99);
    CloseHandle(info->hThread);
    CloseHandle(info->hProcess);
    return false;
  }
  if (!suspended) ResumeThread(info->hThread);
  return true;
}

}  // namespace

DWORD Job::ProcessesEver() const {
  return Accounting(handle_).TotalProcesses;
}

bool Job::WaitUntilEmpty(DWORD timeoutMs) const {
  const DWORD start = GetTickCount();
  while (Accounting(handle_).ActiveProcesses > 0) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

std::vector<std::string> Job::Running() const {
  // Room for more processes than any scenario starts.
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[255];
  } ids = {};
  std::vector<std::string> running;
  if (!QueryInformationJobObject(handle_, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr)) {
    running.push_back("(the job's processes cannot be listed: error " +
                      std::to_string(GetLastError()) + ")");
    return running;
  }
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
    const DWORD id = static_cast<DWORD>(ids.list.ProcessIdList[i]);
    std::string name = "(unknown program)";
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
      if (entry.th32ProcessID == id) {
        name = Utf8(entry.szExeFile);
        break;
      }
    }
    running.push_back(name + " (process " + std::to_string(id) + ")");
  }
  if (snapshot != INVALID_HANDLE_VALUE) CloseHandle(snapshot);
  return running;
}

DWORD Job::EndAll() const {
  const DWORD running = Accounting(handle_).ActiveProcesses;
  TerminateJobObject(handle_, 99);
  // The processes go a moment later, and their named objects with them.
  for (int i = 0; i < 1000 && Accounting(handle_).ActiveProcesses > 0; ++i) Sleep(10);
  return running;
}

std::wstring LongPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  if (wide.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + wide.substr(2);
  return L"\\\\?\\" + wide;
}

// Read in UTF-16: an account named in any script has such a temporary folder.
std::string TempDir() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  return Utf8(temp);
}

void SetScenarioJob(const Job* job) {
  scenarioJob = job;
}

GameFolder::GameFolder(const char* launcherName, bool withGame, std::size_t dirLength,
                       const char* folderName, const char* gameExe)
    : launcher_(launcherName) {
  static int counter = 0;
  char dir[64];
  std::snprintf(dir, sizeof dir, "q8e2e-%lu-%d", GetCurrentProcessId(), ++counter);
  dir_ = TempDir() + dir;
  auto createLevel = [this](const std::string& name) {
    dir_ += name;
    CreateDirectoryW(LongPath(dir_).c_str(), nullptr);
    created_.push_back(dir_);
  };
  createLevel("");
  // Deep folders are nested, no level longer than 100 bytes.
  while (dir_.size() + 1 < dirLength) {
    createLevel("\\" + std::string(std::min<std::size_t>(100, dirLength - dir_.size() - 1), 'd'));
  }
  if (folderName != nullptr) createLevel(std::string("\\") + folderName);
  dir_ += "\\";
  CopyFileW(LongPath(LauncherExe()).c_str(), LongPath(Path(launcherName)).c_str(), FALSE);
  if (withGame) {
    CopyFileW(LongPath(BuildDir() + gameExe).c_str(), LongPath(Path("Q8Main.EXE")).c_str(), FALSE);
  }
}

GameFolder::~GameFolder() {
  StopTestGames();
  for (const char* file : {launcher_.c_str(), "Q8Main.EXE", "testgame.cfg", "starts.log"}) {
    DeleteFileW(LongPath(Path(file)).c_str());
  }
  for (const std::string& file : extra_) DeleteFileW(LongPath(Path(file.c_str())).c_str());
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    RemoveDirectoryW(LongPath(*it).c_str());
  }
}

void GameFolder::ConfigureGame(long announceMs, long holdMs, long lifeMs) const {
  if (FILE* cfg = _wfopen(LongPath(Path("testgame.cfg")).c_str(), L"w")) {
    std::fprintf(cfg, "%ld %ld %ld\n", announceMs, holdMs, lifeMs);
    std::fclose(cfg);
  }
}

std::vector<std::string> GameFolder::GameStarts() const {
  std::vector<std::string> starts;
  FILE* log = _wfopen(LongPath(Path("starts.log")).c_str(), L"rb");
  if (log == nullptr) return starts;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, log)) > 0;) text.append(buffer, n);
  std::fclose(log);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("tail=", 0) == 0) starts.push_back(line.substr(5));
  }
  return starts;
}

Process GameFolder::StartLauncher(const std::string& arguments, bool suspended,
                                  const Job* job) const {
  return Start(launcher_, arguments, suspended, job);
}

Process GameFolder::StartGame() const {
  return Start("Q8Main.EXE", "", false);
}

Process GameFolder::StartCopy(const char* builtExe, const std::string& file) {
  CopyFileW(LongPath(BuildDir() + builtExe).c_str(), LongPath(Path(file.c_str())).c_str(), FALSE);
  extra_.push_back(file);
  return Start(file, "", false);
}

Process GameFolder::Start(const std::string& file, const std::string& arguments, bool suspended,
                          const Job* job) const {
  std::wstring commandLine = Wide("\"" + Path(file.c_str()) + "\"");
  if (!arguments.empty()) commandLine += L" " + Wide(arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!StartInJob(commandLine, Wide(dir_).c_str(), 0, FALSE, &startup, job, suspended, &info)) {
    return Process();
  }
  Process process(info.hProcess, info.dwProcessId, Path(file.c_str()));
  if (suspended) {
    process.thread_ = info.hThread;
  } else {
    CloseHandle(info.hThread);
  }
  return process;
}

bool TestGameAlive() {
  HANDLE alive = OpenEventA(SYNCHRONIZE, FALSE, kTestGameAliveEvent);
  if (alive == nullptr) return false;
  CloseHandle(alive);
  return true;
}

bool WaitForTestGame(bool alive, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (TestGameAlive() != alive) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

namespace {

// Waits up to timeoutMs for a started tool to end and answers its exit code
// (0xDEAD if it did not end), closing its handles.
DWORD ExitCode(const PROCESS_INFORMATION& info, DWORD timeoutMs) {
  CloseHandle(info.hThread);
  DWORD code = 0xDEAD;
  if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(info.hProcess, &code);
  }
  CloseHandle(info.hProcess);
  return code;
}

}  // namespace

DWORD RunTool(const char* exe, const std::string& arguments, std::string* output) {
  return RunTool(exe, arguments, output, nullptr, [] {});
}

DWORD RunTool(const char* exe, const std::string& arguments, std::string* output, const char* cue,
              const std::function<void()>& atCue) {
  const std::wstring commandLine = Wide("\"" + BuildDir() + exe + "\" " + arguments);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return 0xDEAD;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = write;
  PROCESS_INFORMATION info = {};
  const bool started =
      StartInJob(commandLine, nullptr, CREATE_NO_WINDOW, TRUE, &startup, nullptr, false, &info);
  CloseHandle(write);
  output->clear();
  char buffer[4096];
  DWORD n = 0;
  while (started && ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    output->append(buffer, n);
    if (cue != nullptr && output->find(cue) != std::string::npos) {
      cue = nullptr;
      atCue();
    }
  }
  CloseHandle(read);
  if (!started) return 0xDEAD;
  return ExitCode(info, 60000);
}

DWORD RunTool(const char* exe) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!StartInJob(Wide("\"" + BuildDir() + exe + "\""), nullptr, 0, FALSE, &startup, nullptr, false,
                  &info)) {
    return 0xDEAD;
  }
  return ExitCode(info, 30000);
}

Process StartInOwnConsole(const std::string& commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!StartInJob(Wide(commandLine), nullptr, CREATE_NEW_CONSOLE, FALSE, &startup, nullptr, false,
                  &info)) {
    return Process();
  }
  CloseHandle(info.hThread);
  return Process(info.hProcess, info.dwProcessId, commandLine);
}

bool PressKeyInConsoleOf(DWORD processId) {
  // A process has one console: this one lets go of its own for a moment.
  FreeConsole();
  bool pressed = false;
  if (AttachConsole(processId)) {
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    INPUT_RECORD key[2] = {};
    for (int i = 0; i < 2; ++i) {
      key[i].EventType = KEY_EVENT;
      key[i].Event.KeyEvent.bKeyDown = i == 0;
      key[i].Event.KeyEvent.wRepeatCount = 1;
      key[i].Event.KeyEvent.wVirtualKeyCode = VK_SPACE;
      key[i].Event.KeyEvent.uChar.UnicodeChar = L' ';
    }
    DWORD written = 0;
    pressed =
        in != INVALID_HANDLE_VALUE && WriteConsoleInputW(in, key, 2, &written) && written == 2;
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    FreeConsole();
  }
  AttachConsole(ATTACH_PARENT_PROCESS);
  return pressed;
}

DWORD TrivialRunMs() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const DWORD start = GetTickCount();
  if (!StartInJob(Wide("\"" + BuildDir() + "TestGame.exe\" --end"), nullptr, 0, FALSE, &startup,
                  nullptr, false, &info) ||
      ExitCode(info, 30000) != 0) {
    return 0xFFFFFFFF;
  }
  return GetTickCount() - start;
}

void StopTestGames() {
  HANDLE stop = CreateEventA(nullptr, TRUE, TRUE, kTestGameStopEvent);
  SetEvent(stop);
  for (int i = 0; i < 500 && TestGameAlive(); ++i) Sleep(10);
  CloseHandle(stop);
}

namespace {

struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (owner == search->processId && std::strcmp(className, "#32770") == 0 &&
      IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindText(HWND child, LPARAM param) {
  std::string* text = reinterpret_cast<std::string*>(param);
  char className[64] = {};
  GetClassNameA(child, className, sizeof className);
  wchar_t buffer[1024] = {};
  if (_stricmp(className, "Static") == 0 && GetWindowTextW(child, buffer, 1024) > 0) {
    *text = Utf8(buffer);
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool WaitForMessageBox(DWORD processId, DWORD timeoutMs, MessageBoxSeen* box) {
  const DWORD start = GetTickCount();
  Search search{processId, nullptr};
  while (search.found == nullptr) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  }
  box->window = search.found;
  wchar_t caption[256] = {};
  GetWindowTextW(search.found, caption, 256);
  box->caption = Utf8(caption);
  EnumChildWindows(search.found, FindText, reinterpret_cast<LPARAM>(&box->text));
  return true;
}

void PressOk(HWND box) {
  HWND ok = GetDlgItem(box, IDOK);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
}
