// Q8Doctor.exe: tells a game's developer, or a player, why a launcher does or
// does not see its game. Object names are case-sensitive and typed, so a game
// that holds its presence semaphore under a slightly wrong name, or holds the
// right name as another kind of object, runs fine while the launcher waits in
// vain; this tool shows the names the launcher probes and what the session
// holds instead.
//
//   Q8Doctor.exe [--wait] [LAUNCHER]
//
// LAUNCHER is the launcher's path (default: Q8.exe beside this program; the
// file need not exist; a folder means Q8.exe in it). It prints one fact a
// line: the launcher's path, the presence names it probes (built by the
// launcher's own naming code, from the path in the ANSI code page as the
// launcher reads its own), whether a launcher and its quit event exist,
// whether the game's and the companion's semaphores are held, and every named
// object of the session and of the global namespace that looks meant for the
// launcher but that its probe cannot see, with the mistake in plain words.
// --wait polls for the game's semaphore every 250 ms for up to 30 s, with the
// launcher's own start-up wait, so it decides as the launcher does.
//
// Alone in its console (a double-click), it then waits for a key.
//
// Exit codes: 0 the game's semaphore is held; 1 it is not; 2 bad usage.
// Text goes to a console in UTF-16 and to a pipe or file in UTF-8, so a pasted
// report keeps the path, whatever its script.
#include <windows.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "launcher/instance_guard/event_names.h"
#include "launcher/launch.h"
#include "launcher/presence/presence.h"
#include "resources/version.h"

namespace {

constexpr int kLongText = 32768;  // UTF-16 units: the longest path or object name and then some
const wchar_t* const kGameFile = reinterpret_cast<const wchar_t*>(kGameExecutable);
constexpr wchar_t kDefaultLauncher[] = L"Q8.exe";
constexpr size_t kGameSuffixLength = sizeof kGameSuffix - 1;

// The naming rule's ASCII constants in UTF-16, as listed names are compared:
// the game suffix, and the prefix upper-cased.
wchar_t gameSuffix[sizeof kGameSuffix];
wchar_t upperPrefix[sizeof kPresencePrefix];

HANDLE out = nullptr;
int nearMisses = 0;

// Writes one line: UTF-16 to a console, UTF-8 to anything else.
void Say(const wchar_t* format, ...) {
  static wchar_t line[2 * kLongText];
  static char utf8[6 * kLongText];
  va_list args;
  va_start(args, format);
  _vsnwprintf(line, 2 * kLongText - 3, format, args);
  va_end(args);
  line[2 * kLongText - 3] = 0;
  std::wcscat(line, L"\r\n");
  const int length = lstrlenW(line);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, line, length, &written, nullptr);
    return;
  }
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, line, length, utf8, sizeof utf8, nullptr, nullptr);
  WriteFile(out, utf8, bytes, &written, nullptr);
}

// Appends a formatted clause to text (size units), "; " between clauses.
void Append(wchar_t* text, size_t size, const wchar_t* format, ...) {
  size_t used = std::wcslen(text);
  if (used != 0 && used + 2 < size) {
    std::wcscat(text, L"; ");
    used += 2;
  }
  va_list args;
  va_start(args, format);
  _vsnwprintf(text + used, size - used - 1, format, args);
  va_end(args);
  text[size - 1] = 0;
}

// Copies n units of text into a terminated buffer of size units.
void Copy(wchar_t* to, size_t size, const wchar_t* text, size_t n) {
  if (n >= size) n = size - 1;
  std::wmemcpy(to, text, n);
  to[n] = 0;
}

// Upper-cases text into a buffer of size units, in every script.
void Upper(const wchar_t* text, wchar_t* upper, int size) {
  const int n = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text, -1, upper, size);
  if (n == 0) Copy(upper, size, text, std::wcslen(text));
}

bool EndsWith(const wchar_t* text, const wchar_t* tail) {
  const size_t n = std::wcslen(text), m = std::wcslen(tail);
  return n >= m && std::wcscmp(text + n - m, tail) == 0;
}

// The ANSI bytes of a name with those of 0x80 and above (and controls) as
// \xNN: the bytes the launcher opens, whatever a console makes of them.
const wchar_t* Escaped(const char* ansi) {
  static wchar_t text[4 * kNameBufferSize + 1];
  size_t n = 0;
  for (const unsigned char* b = reinterpret_cast<const unsigned char*>(ansi); *b != 0; ++b) {
    if (*b >= 0x20 && *b < 0x80) {
      text[n++] = *b;
    } else {
      const wchar_t* const kHex = L"0123456789ABCDEF";
      text[n++] = L'\\';
      text[n++] = L'x';
      text[n++] = kHex[*b >> 4];
      text[n++] = kHex[*b & 0xF];
    }
  }
  text[n] = 0;
  return text;
}

bool HasHighBytes(const char* ansi) {
  for (; *ansi != 0; ++ansi) {
    if (static_cast<unsigned char>(*ansi) >= 0x80) return true;
  }
  return false;
}

// A presence name the launcher probes: its bytes, and the name as the system
// converts them from the ANSI code page when the probe opens it, which is the
// name an object listing shows.
struct Expected {
  const wchar_t* whose;  // "game" or "companion"
  bool exists;           // the launcher's path gives this name at all
  char ansi[kNameBufferSize];
  wchar_t wide[kNameBufferSize];
  wchar_t upper[kNameBufferSize];
  const wchar_t* upperFile;  // upper without the prefix
};
Expected expected[2];         // game, companion
wchar_t launcher[kLongText];  // the launcher's full path
size_t folderLength = 0;      // of its folder, with the last backslash
wchar_t launcherExtension[kNameBufferSize] = L".exe";

void Settle(Expected* e, const wchar_t* whose, bool exists) {
  e->whose = whose;
  e->exists = exists;
  if (!exists || MultiByteToWideChar(CP_ACP, 0, e->ansi, -1, e->wide, kNameBufferSize) == 0) {
    e->wide[0] = 0;
  }
  Upper(e->wide, e->upper, kNameBufferSize);
  e->upperFile =
      e->upper + (std::wcslen(e->upper) >= kPresencePrefixLength ? kPresencePrefixLength
                                                                 : std::wcslen(e->upper));
}

// An object type in plain words, with its article.
const wchar_t* PlainType(const wchar_t* type) {
  static const wchar_t* const kPlain[][2] = {{L"Mutant", L"a mutex"},
                                             {L"Event", L"an event"},
                                             {L"Section", L"a file mapping"},
                                             {L"Semaphore", L"a semaphore"},
                                             {L"Timer", L"a timer"},
                                             {L"Job", L"a job object"},
                                             {L"SymbolicLink", L"a symbolic link"}};
  for (const auto& plain : kPlain) {
    if (std::wcscmp(type, plain[0]) == 0) return plain[1];
  }
  static wchar_t other[64];
  _snwprintf(other, 63, L"an object of type %ls", type);
  return other;
}

// Converts a UTF-16 path to the ANSI code page as the system hands a program
// its own path; lossy is set when a character has no equivalent there.
int ToAnsi(const wchar_t* path, char* ansi, int size, BOOL* lossy) {
  *lossy = FALSE;
  const UINT page = GetACP();
  return WideCharToMultiByte(CP_ACP, 0, path, -1, ansi, size, nullptr,
                             page == CP_UTF8 ? nullptr : lossy);
}

// The game's presence name, as the listing shows it, that a launcher called
// file in the same folder probes for; false when it probes for none.
bool GameNameOfLauncher(const wchar_t* file, wchar_t* name, int size) {
  static wchar_t path[kLongText];
  static char ansi[4 * kLongText];
  if (folderLength + std::wcslen(file) >= kLongText) return false;
  Copy(path, kLongText, launcher, folderLength);
  std::wcscat(path, file);
  BOOL lossy = FALSE;
  char built[kNameBufferSize];
  return ToAnsi(path, ansi, sizeof ansi, &lossy) != 0 && BuildGamePresenceNameFor(ansi, built) &&
         MultiByteToWideChar(CP_ACP, 0, built, -1, name, size) != 0;
}

// Why a presence name held under another file name is not the game's, and
// which launcher, renamed, would probe for it, where the naming rule gives one
// from the file name as held (names lowered from bytes of a double-byte code
// page need not convert back).
void ExplainOtherFile(const wchar_t* name, wchar_t* why, size_t size) {
  const wchar_t* file = name + kPresencePrefixLength;
  Append(why, size, L"named after %ls, not %ls, the file this launcher probes for", file,
         expected[0].wide + kPresencePrefixLength);
  static wchar_t candidate[kNameBufferSize], probed[kNameBufferSize];
  const size_t n = std::wcslen(file), extension = std::wcslen(launcherExtension);
  if (n > kGameSuffixLength && _wcsicmp(file + n - kGameSuffixLength, gameSuffix) == 0 &&
      n - kGameSuffixLength + extension < kNameBufferSize) {
    Copy(candidate, kNameBufferSize, file, n - kGameSuffixLength);
    std::wcscat(candidate, launcherExtension);
    if (GameNameOfLauncher(candidate, probed, kNameBufferSize) && std::wcscmp(probed, name) == 0) {
      Append(why, size, L"a launcher named %ls would see it", candidate);
      return;
    }
  }
  Append(why, size, L"this launcher probes exactly %ls", expected[0].wide);
}

// Reports an object that looks meant for the launcher but that its probe does
// not see, with what is wrong; says nothing of unrelated objects or of one
// that is exactly right.
void Diagnose(const wchar_t* name, const wchar_t* type, bool global) {
  static wchar_t upper[kLongText + 1];
  Upper(name, upper, kLongText + 1);
  wchar_t why[1024] = L"";
  if (global) Append(why, 1024, L"created with Global\\, which the launcher's probe does not see");
  bool meant = false;
  for (const Expected& e : expected) {
    if (!e.exists) continue;
    if (std::wcscmp(name, e.wide) == 0) {
      meant = true;
    } else if (std::wcscmp(upper, e.upper) == 0) {
      meant = true;
      Append(why, 1024, L"the case differs from %ls: names are case-sensitive", e.wide);
    }
    if (meant) break;
  }
  if (!meant && expected[0].exists &&
      std::wcsncmp(upper, upperPrefix, kPresencePrefixLength) == 0) {
    meant = true;
    ExplainOtherFile(name, why, 1024);
  }
  for (const Expected& e : expected) {
    if (meant || !e.exists || std::wcsstr(upper, e.upperFile) == nullptr) continue;
    meant = true;
    if (std::wcscmp(upper, e.upperFile) == 0) {
      Append(why, 1024, L"no $$s$$ prefix: the launcher probes %ls", e.wide);
    } else {
      Append(why, 1024, L"not the %ls's presence name, which is exactly %ls", e.whose, e.wide);
    }
  }
  if (!meant) return;
  if (std::wcscmp(type, L"Semaphore") != 0) {
    Append(why, 1024, L"%ls where a semaphore is needed", PlainType(type));
  }
  if (why[0] == 0) return;
  ++nearMisses;
  Say(L"near miss: %ls \"%ls%ls\": %ls", type, global ? L"Global\\" : L"", name, why);
}

// The object directory calls of ntdll, found at run time: no import library,
// and a system without them still gets the direct probes.
struct NtString {
  USHORT length;
  USHORT maximumLength;
  wchar_t* buffer;
};
struct NtAttributes {
  ULONG length;
  HANDLE root;
  NtString* name;
  ULONG attributes;
  void* securityDescriptor;
  void* securityQuality;
};
struct NtDirectoryEntry {
  NtString name;
  NtString type;
};
using OpenDirectoryCall = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, NtAttributes*);
using QueryDirectoryCall = LONG(NTAPI*)(HANDLE, void*, ULONG, BOOLEAN, BOOLEAN, ULONG*, ULONG*);
constexpr ACCESS_MASK kDirectoryQuery = 0x1;
constexpr ULONG kCaseInsensitive = 0x40;
constexpr LONG kStatusMoreEntries = 0x105;
constexpr LONG kStatusNoMoreEntries = static_cast<LONG>(0x8000001AUL);

// Diagnoses every object of the directory at path; false, after a line that
// says why, when it cannot be listed.
bool ListDirectory(const wchar_t* path, bool global) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto open = reinterpret_cast<OpenDirectoryCall>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtOpenDirectoryObject")));
  auto query = reinterpret_cast<QueryDirectoryCall>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryDirectoryObject")));
  if (open == nullptr || query == nullptr) {
    Say(L"near misses: this system cannot list named objects (no NtOpenDirectoryObject or "
        L"NtQueryDirectoryObject); the probes above still stand");
    return false;
  }
  NtString name = {static_cast<USHORT>(2 * std::wcslen(path)),
                   static_cast<USHORT>(2 * std::wcslen(path)), const_cast<wchar_t*>(path)};
  NtAttributes attributes = {sizeof attributes, nullptr, &name, kCaseInsensitive, nullptr, nullptr};
  HANDLE directory = nullptr;
  LONG status = open(&directory, kDirectoryQuery, &attributes);
  if (status != 0) {
    Say(L"near misses: the named objects in %ls cannot be listed (status 0x%08lX); the probes "
        L"above still stand",
        path, static_cast<unsigned long>(status));
    return false;
  }
  // One entry a call: the oldest form of the call, which every version answers.
  alignas(8) static unsigned char buffer[0x10000 + 0x10000 + 64];
  static wchar_t entryName[kLongText + 1], entryType[kLongText + 1];
  ULONG context = 0, returned = 0;
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    status = query(directory, buffer, sizeof buffer, TRUE, restart, &context, &returned);
    if (status != 0 && status != kStatusMoreEntries) break;
    const NtDirectoryEntry* entry = reinterpret_cast<const NtDirectoryEntry*>(buffer);
    Copy(entryName, kLongText + 1, entry->name.buffer, entry->name.length / 2);
    Copy(entryType, kLongText + 1, entry->type.buffer, entry->type.length / 2);
    Diagnose(entryName, entryType, global);
  }
  CloseHandle(directory);
  if (status != kStatusNoMoreEntries) {
    Say(L"near misses: listing %ls stopped early (status 0x%08lX)", path,
        static_cast<unsigned long>(status));
  }
  return true;
}

// Reports the named objects that look meant for the launcher: those of its
// session, whose names it probes, and the global ones, which it never sees.
void ReportNearMisses() {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) session = 0;
  wchar_t local[64] = L"\\BaseNamedObjects";
  // Session 0's own namespace is the global one.
  if (session != 0) _snwprintf(local, 63, L"\\Sessions\\%lu\\BaseNamedObjects", session);
  bool listed = ListDirectory(local, false);
  if (listed && session != 0) listed = ListDirectory(L"\\BaseNamedObjects", true);
  if (listed && nearMisses == 0) Say(L"near misses: none");
}

// Opens one of the launcher's events without creating it: 0 absent, 1 there
// (2 when set), -1 the name is held by another kind of object, else the error.
long EventState(const char* name) {
  HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name);
  if (event == nullptr) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : error == ERROR_INVALID_HANDLE ? -1 : error;
  }
  const bool set = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
  CloseHandle(event);
  return set ? 2 : 1;
}

void ReportEvents() {
  const long instance = EventState(kInstanceEventName);
  if (instance == 1 || instance == 2) {
    Say(L"launcher running: yes (its instance event exists in this session)");
  } else if (instance == 0) {
    Say(L"launcher running: no");
  } else if (instance == -1) {
    Say(L"launcher running: no, and none can start: another kind of object holds the instance "
        L"event's name, so a launcher started now ends at once");
  } else {
    Say(L"launcher running: cannot tell (error %ld opening its instance event)", instance);
  }
  const long quit = EventState(kQuitEventName);
  if (quit == 0) {
    Say(L"quit event: absent");
  } else if (quit == 1) {
    Say(L"quit event: exists, not set");
  } else if (quit == 2) {
    Say(L"quit event: exists and is set: a launcher that watches the game ends");
  } else if (quit == -1) {
    Say(L"quit event: another kind of object holds its name: the launcher cannot be told to "
        L"quit");
  } else {
    Say(L"quit event: cannot tell (error %ld opening it)", quit);
  }
}

void SayName(const wchar_t* label, const Expected& e) {
  if (!e.exists) {
    Say(L"%ls: none: the launcher's path has no %ls, so it probes for nothing", label,
        e.whose[0] == L'g' ? L"dot" : L"backslash");
  } else if (HasHighBytes(e.ansi)) {
    Say(L"%ls: %ls (bytes: %ls)", label, e.wide, Escaped(e.ansi));
  } else {
    Say(L"%ls: %ls", label, e.wide);
  }
}

int Usage() {
  out = GetStdHandle(STD_ERROR_HANDLE);
  Say(L"usage: Q8Doctor.exe [--wait] [LAUNCHER]");
  Say(L"  LAUNCHER: the launcher's path or folder (default: Q8.exe beside Q8Doctor.exe)");
  Say(L"  --wait: wait up to %lu s for the game to announce itself, as the launcher does",
      kStartupTimeoutMs / 1000);
  return 2;
}

// Started by a double-click, the doctor is alone in a console window that the
// system made for it and closes as it ends: what it said stays on screen until
// a key is pressed, for the player to read or copy. From a command prompt,
// which shares its console, or with its output going elsewhere, it ends at once.
void KeepOnScreenIfAlone() {
  DWORD processes[2], mode = 0, n = 0;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(out, &mode) ||
      !GetConsoleMode(in, &mode)) {
    return;
  }
  Say(L"press a key to close this window");
  FlushConsoleInputBuffer(in);
  INPUT_RECORD record;
  while (ReadConsoleInputW(in, &record, 1, &n) && n == 1 &&
         !(record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)) {
  }
}

int Run() {
  out = GetStdHandle(STD_OUTPUT_HANDLE);
  wchar_t prefix[sizeof kPresencePrefix];
  for (size_t i = 0; i < sizeof kPresencePrefix; ++i) prefix[i] = kPresencePrefix[i];
  Upper(prefix, upperPrefix, sizeof kPresencePrefix);
  for (size_t i = 0; i < sizeof kGameSuffix; ++i) gameSuffix[i] = kGameSuffix[i];
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr) return Usage();
  bool wait = false;
  const wchar_t* given = nullptr;
  for (int i = 1; i < count; ++i) {
    if (std::wcscmp(args[i], L"--wait") == 0) {
      wait = true;
    } else if (args[i][0] == L'-' || args[i][0] == 0 || std::wcscmp(args[i], L"/?") == 0 ||
               given != nullptr) {
      LocalFree(args);
      return Usage();
    } else {
      given = args[i];
    }
  }

  if (given != nullptr) {
    const DWORD n = GetFullPathNameW(given, kLongText - 8, launcher, nullptr);
    LocalFree(args);
    if (n == 0 || n >= kLongText - 8) return Usage();
    const DWORD attributes = GetFileAttributesW(launcher);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (!EndsWith(launcher, L"\\")) std::wcscat(launcher, L"\\");
      std::wcscat(launcher, kDefaultLauncher);
    }
  } else {
    LocalFree(args);
    const DWORD n = GetModuleFileNameW(nullptr, launcher, kLongText - 8);
    wchar_t* slash = std::wcsrchr(launcher, L'\\');
    if (n == 0 || slash == nullptr) return Usage();
    std::wcscpy(slash + 1, kDefaultLauncher);
  }
  const wchar_t* fileName = std::wcsrchr(launcher, L'\\') + 1;
  folderLength = fileName - launcher;
  if (const wchar_t* dot = std::wcsrchr(fileName, L'.')) {
    Copy(launcherExtension, kNameBufferSize, dot, std::wcslen(dot));
  }

  Say(L"Q8Doctor " Q8_VERSION_STRING L": why the launcher does or does not see the game");
  Say(L"launcher: %ls", launcher);
  const DWORD attributes = GetFileAttributesW(launcher);
  Say(L"launcher file: %ls", attributes == INVALID_FILE_ATTRIBUTES
                                 ? L"not found (the names below hold all the same)"
                                 : L"found");
  Say(L"ANSI code page: %u", GetACP());
  static char ansi[4 * kLongText];
  BOOL lossy = FALSE;
  const int bytes = ToAnsi(launcher, ansi, sizeof ansi, &lossy);
  if (bytes == 0) ansi[0] = 0;
  if (lossy) {
    Say(L"note: the ANSI code page has no character for some of the path's: the launcher reads "
        L"them as ?");
  }
  if (bytes > static_cast<int>(kPathCapacity)) {
    Say(L"note: the path is %d bytes in the ANSI code page: the launcher reads only the first %u",
        bytes - 1, static_cast<unsigned>(kPathCapacity - 1));
  }

  Expected& game = expected[0];
  Expected& companion = expected[1];
  Settle(&game, L"game", BuildGamePresenceNameFor(ansi, game.ansi));
  Settle(&companion, L"companion", BuildCompanionPresenceNameFor(ansi, companion.ansi));
  SayName(L"game presence name", game);
  SayName(L"companion presence name", companion);

  // The game the launcher starts announces itself by its own file name,
  // which matches the probe only while the launcher is called Q8.exe.
  static wchar_t started[kNameBufferSize];
  if (GameNameOfLauncher(kDefaultLauncher, started, kNameBufferSize) &&
      (!game.exists || std::wcscmp(started, game.wide) != 0)) {
    Say(L"renamed launcher: it starts %ls, which announces itself as %ls, but it probes for "
        L"%ls: name the launcher %ls",
        kGameFile, started, game.exists ? game.wide : L"nothing", kDefaultLauncher);
  }

  ReportEvents();

  // The launcher counts a semaphore that refuses it as held; the doctor says
  // which of the two it is, as a support answer turns on it.
  auto state = [](const char* name) {
    if (!ProbePresence(name)) return L"not held";
    HANDLE semaphore = OpenSemaphoreA(SYNCHRONIZE, FALSE, name);
    if (semaphore == nullptr)
      return L"held, but this account may not open it (a program with more rights made it)";
    CloseHandle(semaphore);
    return L"held";
  };
  bool held = game.exists && ProbePresence(game.ansi);
  if (wait && game.exists && !held) {
    Say(L"waiting up to %lu s for the game's semaphore, checking every %lu ms",
        kStartupTimeoutMs / 1000, kStartupPollMs);
    const DWORD start = GetTickCount();
    held = WaitForStartup([] { return ProbePresence(expected[0].ansi); });
    const DWORD after = GetTickCount() - start;
    if (held) {
      Say(L"game's semaphore %ls: held, appeared after %lu.%03lu s", game.wide, after / 1000,
          after % 1000);
    } else {
      Say(L"game's semaphore %ls: not held after %lu s", game.wide, kStartupTimeoutMs / 1000);
    }
  } else if (game.exists) {
    Say(L"game's semaphore %ls: %ls", game.wide, state(game.ansi));
  }
  if (companion.exists)
    Say(L"companion's semaphore %ls: %ls", companion.wide, state(companion.ansi));

  ReportNearMisses();
  Say(held ? L"result: the launcher sees the game" : L"result: the launcher does not see the game");
  return held ? 0 : 1;
}

}  // namespace

int main() {
  const int code = Run();
  KeepOnScreenIfAlone();
  return code;
}
