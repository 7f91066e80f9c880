// TrimToFileNameLower on a heap block of exactly the text and its terminator,
// so a read or write past the terminator is an AddressSanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "launcher/presence/presence.h"
#include "tests/fake_platform.h"
#include "tests/fuzz/fuzz_report.h"
#include "tests/naming_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fake::Reset();
  // The routine works on a terminated string: the text ends at the first NUL.
  const std::size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  const std::string text(reinterpret_cast<const char*>(data), length);

  char* s = static_cast<char*>(std::malloc(length + 1));
  std::memcpy(s, text.c_str(), length + 1);
  TrimToFileNameLower(s, length);
  const std::string got = fuzz::Terminated(data, size, "trimmed file name", s, length + 1);
  std::free(s);

  const std::string expected = oracle::FileNameLower(text);
  if (got != expected) fuzz::Mismatch(data, size, "trimmed file name", expected, got);
  return 0;
}
