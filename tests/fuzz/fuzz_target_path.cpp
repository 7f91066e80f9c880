// BuildTargetPath from UTF-16 module paths of up to 300 units (the input's
// bytes taken in pairs, little-endian), in a buffer that ends exactly where
// its heap block does. An input starting with a zero unit (which as a path
// would be empty) makes the module-path call fail instead.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "launcher/launch.h"
#include "tests/fake_platform.h"
#include "tests/fuzz/fuzz_report.h"
#include "tests/naming_oracle.h"

namespace {
constexpr std::size_t kLongestInput = 300;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string path = fuzz::Units(data, size, kLongestInput);
  const bool pathFails = !path.empty() && path[0] == 0;

  // Both ways a platform can cut a long path: terminated, or filling the
  // whole capacity without a terminator.
  for (bool unterminated : {false, true}) {
    fake::Reset();
    fake::SetUnterminatedTruncation(unterminated);
    if (pathFails) {
      fake::FailModulePath();
    } else {
      fake::SetWideModulePath(path);
    }
    auto* block = static_cast<char16_t*>(std::malloc(sizeof(char16_t) * kTargetBufferSize));
    char16_t(&target)[kTargetBufferSize] = *reinterpret_cast<char16_t(*)[kTargetBufferSize]>(block);
    BuildTargetPath(target);
    const std::u16string got =
        fuzz::Terminated(data, size, "target path", target, kTargetBufferSize);
    std::free(block);

    const std::u16string expected =
        oracle::ExpectedTargetPath(oracle::ReportedModulePath(path, unterminated), pathFails);
    if (got != expected) fuzz::Mismatch(data, size, "target path", expected, got);
    if (fake::OpenHandles() != 0) {
      fuzz::Mismatch(data, size, "target path", "no handle", "a handle");
    }
  }
  return 0;
}
