// CommandTail over command lines in heap blocks of exactly the line and its
// terminator. The first input byte picks the code page's lead bytes (modulo
// 4, so the seeds use '0' to '3'), the rest is the line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "launcher/launch.h"
#include "tests/fake_platform.h"
#include "tests/fuzz/fuzz_report.h"
#include "tests/naming_oracle.h"

namespace {

std::vector<unsigned char> Range(unsigned first, unsigned last,
                                 std::vector<unsigned char> to = {}) {
  for (unsigned b = first; b <= last; ++b) to.push_back(static_cast<unsigned char>(b));
  return to;
}

// No lead bytes (single-byte code pages), then lead-byte ranges shaped like
// the common double-byte code pages', then every high byte.
const std::vector<unsigned char>& LeadBytes(std::uint8_t selector) {
  static const std::vector<unsigned char> sets[] = {
      {},
      Range(0xE0, 0xFC, Range(0x81, 0x9F)),
      Range(0x81, 0xFE),
      Range(0x80, 0xFF),
  };
  return sets[selector % (sizeof sets / sizeof sets[0])];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::vector<unsigned char>& leadBytes = LeadBytes(data[0]);
  const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);

  fake::Reset();
  fake::SetLeadBytes(leadBytes);
  char* copy = static_cast<char*>(std::malloc(line.size() + 1));
  std::memcpy(copy, line.data(), line.size());
  copy[line.size()] = '\0';
  const char* tail = CommandTail(copy);
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(tail);
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(copy);
  const bool inside = at >= begin && at <= begin + line.size();
  const std::size_t offset = inside ? static_cast<std::size_t>(at - begin) : 0;
  std::free(copy);

  const std::size_t expected = oracle::CommandTailOffset(line, leadBytes);
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
