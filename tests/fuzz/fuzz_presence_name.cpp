// The presence names built from module paths of up to 300 bytes, in a buffer
// that ends exactly where its heap block does, so one byte written too far is
// an AddressSanitizer report. The names are also probed, to see that the
// probe asks for that name and closes what it opens, and announced with
// q8_presence.h, as a game built with it does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "launcher/presence/presence.h"
#include "q8_presence.h"  // <windows.h> is tests/fake_windows/windows.h
#include "tests/fake_platform.h"
#include "tests/fuzz/fuzz_report.h"
#include "tests/naming_oracle.h"

namespace {

constexpr std::size_t kLongestInput = 300;

using Builder = bool (*)(char (&)[kNameBufferSize]);

// Builds a name into a fresh heap block of exactly kNameBufferSize bytes.
// Answers the name, or "" when the builder answered false.
std::string BuildInBlock(const std::uint8_t* data, std::size_t size, const char* what,
                         Builder build) {
  char* block = static_cast<char*>(std::malloc(kNameBufferSize));
  char(&name)[kNameBufferSize] = *reinterpret_cast<char(*)[kNameBufferSize]>(block);
  const bool built = build(name);
  std::string text = built ? fuzz::Terminated(data, size, what, name, kNameBufferSize) : "";
  std::free(block);
  if (built && text.empty()) fuzz::Mismatch(data, size, what, "a name", "true with an empty name");
  return text;
}

// The name the presence helper holds for a program at the path; false when it
// names none.
bool BuildOwn(char (&name)[kNameBufferSize]) {
  Q8PresenceEnd(Q8PresenceBeginNamed(name, sizeof name));
  return name[0] != 0;
}

// With the expected name held by another program, the probe must find it
// (if there is a name at all), ask for exactly that name and leave no handle.
void CheckProbe(const std::uint8_t* data, std::size_t size, const std::string& path,
                bool unterminated, const std::string& expected, const char* what, bool (*probe)()) {
  fake::Reset();
  fake::SetUnterminatedTruncation(unterminated);
  fake::SetModulePath(path);
  if (!expected.empty()) fake::Hold(expected, fake::Type::kSemaphore);
  const bool seen = probe();
  if (seen != !expected.empty()) {
    fuzz::Mismatch(data, size, what, expected.empty() ? "not running" : "running",
                   seen ? "running" : "not running");
  }
  const std::vector<std::string> wanted =
      expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{expected};
  if (fake::ProbedNames() != wanted) {
    fuzz::Mismatch(data, size, what, expected,
                   fake::ProbedNames().empty() ? "(nothing probed)" : fake::ProbedNames()[0]);
  }
  if (fake::OpenHandles() != 0)
    fuzz::Mismatch(data, size, what, "no open handle", "a handle left open");
}

void CheckNames(const std::uint8_t* data, std::size_t size, const std::string& path,
                bool unterminated);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kLongestInput) size = kLongestInput;
  const std::string path(reinterpret_cast<const char*>(data), size);
  // Both ways a platform can cut a long path: terminated, or filling the
  // whole capacity without a terminator.
  for (bool unterminated : {false, true}) {
    CheckNames(data, size, path, unterminated);
  }
  return 0;
}

namespace {

void CheckNames(const std::uint8_t* data, std::size_t size, const std::string& path,
                bool unterminated) {
  const std::string reported = oracle::ReportedModulePath(path, unterminated);

  const struct {
    const char* what;
    Builder build;
    std::string expected;
  } names[] = {
      {"game presence name", BuildGamePresenceName, oracle::ExpectedGameName(reported)},
      {"companion presence name", BuildCompanionPresenceName,
       oracle::ExpectedCompanionName(reported)},
      // A module-path call that answers 0 (the fake's, for an empty path)
      // makes the helper give up.
      {"own presence name", BuildOwn,
       path.empty() ? "" : "$$s$$" + oracle::FileNameLower(reported)},
  };
  for (const auto& n : names) {
    fake::Reset();
    fake::SetUnterminatedTruncation(unterminated);
    fake::SetModulePath(path);
    const std::string got = BuildInBlock(data, size, n.what, n.build);
    if (got != n.expected) fuzz::Mismatch(data, size, n.what, n.expected, got);
    if (fake::OpenHandles() != 0) fuzz::Mismatch(data, size, n.what, "no open handle", "a handle");
  }

  fake::Reset();
  fake::SetUnterminatedTruncation(unterminated);
  fake::SetModulePath(path);
  fake_windows::created.clear();
  HANDLE presence = Q8PresenceBegin();
  const std::string& expected = names[2].expected;
  const std::string announced = fake_windows::created.empty() ? "" : fake_windows::created[0];
  if (announced != expected || fake_windows::created.size() != (expected.empty() ? 0u : 1u) ||
      (presence != nullptr) != !expected.empty()) {
    fuzz::Mismatch(data, size, "announced name", expected, announced);
  }
  Q8PresenceEnd(presence);
  if (fake_windows::open != 0) fuzz::Mismatch(data, size, "announced name", "closed", "left open");

  CheckProbe(data, size, path, unterminated, names[0].expected, "game probe", IsGameRunning);
  CheckProbe(data, size, path, unterminated, names[1].expected, "companion probe",
             IsCompanionRunning);
}

}  // namespace
