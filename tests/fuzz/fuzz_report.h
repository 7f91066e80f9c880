// What every fuzz target does when the launcher and its model disagree: show
// the input and both answers, then stop so libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzz {

// Bytes as C-string text, so a path with high or control bytes reads plainly.
inline std::string Escaped(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

[[noreturn]] inline void Mismatch(const std::uint8_t* data, std::size_t size, const char* what,
                                  const std::string& expected, const std::string& got) {
  std::fprintf(stderr, "\nMISMATCH: %s\n  input (%zu bytes):", what, size);
  for (std::size_t i = 0; i < size; ++i) std::fprintf(stderr, " %02X", data[i]);
  std::fprintf(stderr, "\n  expected: \"%s\"\n  got:      \"%s\"\n", Escaped(expected).c_str(),
               Escaped(got).c_str());
  __builtin_trap();
}

// The text of a buffer up to its terminator; a buffer without one is a fault
// of its own, reported rather than read past.
inline std::string Terminated(const std::uint8_t* data, std::size_t size, const char* what,
                              const char* buffer, std::size_t capacity) {
  for (std::size_t i = 0; i < capacity; ++i) {
    if (buffer[i] == '\0') return std::string(buffer, i);
  }
  Mismatch(data, size, what, "a terminated string", "no terminator in the buffer");
}

}  // namespace fuzz
