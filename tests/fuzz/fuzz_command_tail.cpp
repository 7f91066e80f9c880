// CommandTail over UTF-16 command lines (the input's bytes taken in pairs,
// little-endian) in heap blocks of exactly the line and its terminator.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "launcher/command_line.h"
#include "tests/fuzz/fuzz_report.h"
#include "tests/naming_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string line = fuzz::Units(data, size, size / 2);

  auto* copy = static_cast<char16_t*>(std::malloc(sizeof(char16_t) * (line.size() + 1)));
  std::memcpy(copy, line.data(), sizeof(char16_t) * line.size());
  copy[line.size()] = 0;
  const char16_t* tail = CommandTail(copy);
  const bool inside = tail >= copy && tail <= copy + line.size();
  const std::size_t offset = inside ? static_cast<std::size_t>(tail - copy) : 0;
  std::free(copy);

  const std::size_t expected = oracle::CommandTailOffset(line);
  if (!inside) {
    fuzz::Mismatch(data, size, "command tail", "offset " + std::to_string(expected),
                   "a pointer outside the command line");
  }
  if (offset != expected) {
    fuzz::Mismatch(data, size, "command tail", "offset " + std::to_string(expected),
                   "offset " + std::to_string(offset));
  }
  return 0;
}
