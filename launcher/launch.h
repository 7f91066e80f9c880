// The launch: the entry function's pieces, from the command tail to the
// startup wait.
#pragma once

#include <cstddef>

#include "launcher/platform/platform.h"

constexpr char kGameExecutable[] = "Q8Main.EXE";
constexpr char kMessageCaption[] = "Game Launch Error";
constexpr char kLaunchFailedFormat[] = "Failed to start %s!\r\n( error : %s )";
constexpr char kTimedOutFormat[] =
    "Failed to start %s!\r\n( timed out waitinf for game to startup )";
constexpr unsigned long kStartupPollMs = 250;
constexpr unsigned long kStartupTimeoutMs = 30000;
constexpr std::size_t kMessageBufferSize = 512;

// The target path buffer: 261 bytes for the path the platform reports and the
// game's name written over its file name, plus room for that name when the
// file name starts so late that it would not fit (positions 251 to 260).
constexpr std::size_t kTargetPathSize = 261;
constexpr std::size_t kTargetBufferSize = kTargetPathSize + sizeof(kGameExecutable) - 1;

// The text after the program name in a full command line: the program-name
// token (double quotes toggle quoting, a lead byte takes the next byte unless
// that is the terminator) and the blanks after it are skipped.
const char* CommandTail(const char* commandLine);

// The launcher's own path with its file name replaced by the game's, or the
// bare game name when the platform cannot tell the launcher's path.
void BuildTargetPath(char (&target)[kTargetBufferSize]);

// The name of a launch error code, or the code as "0x%08lx" written into hex.
const char* ErrorName(unsigned long code, char (&hex)[11]);

// Starts the game through the shell with the command tail as its parameters.
bool LaunchGame(const char* target, const char* tail);

// Polls every 250 ms for the game's presence; false after 30000 ms.
bool WaitForGameStartup();
