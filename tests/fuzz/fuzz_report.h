// What every fuzz target does when the launcher and its model disagree: show
// the input and both answers, then stop so libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

namespace fuzz {

// The input as UTF-16 units, its bytes taken in pairs (little-endian), at
// most longest units.
inline std::u16string Units(const std::uint8_t* data, std::size_t size, std::size_t longest) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size && units.size() < longest; i += 2) {
    units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  return units;
}

// Bytes or UTF-16 units as C-string text, so a path with high or control
// characters reads plainly.
template <typename Char>
std::string Escaped(const std::basic_string<Char>& s) {
  std::string out;
  for (Char ch : s) {
    const unsigned c = static_cast<std::make_unsigned_t<Char>>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, sizeof(Char) == 1 ? "\\x%02X" : "\\u%04X", c);
      out += hex;
    }
  }
  return out;
}

template <typename String>
[[noreturn]] void ReportMismatch(const std::uint8_t* data, std::size_t size, const char* what,
                                 const String& expected, const String& got) {
  std::fprintf(stderr, "\nMISMATCH: %s\n  input (%zu bytes):", what, size);
  for (std::size_t i = 0; i < size; ++i) std::fprintf(stderr, " %02X", data[i]);
  std::fprintf(stderr, "\n  expected: \"%s\"\n  got:      \"%s\"\n", Escaped(expected).c_str(),
               Escaped(got).c_str());
  __builtin_trap();
}

[[noreturn]] inline void Mismatch(const std::uint8_t* data, std::size_t size, const char* what,
                                  const std::string& expected, const std::string& got) {
  ReportMismatch(data, size, what, expected, got);
}

[[noreturn]] inline void Mismatch(const std::uint8_t* data, std::size_t size, const char* what,
                                  const std::u16string& expected, const std::u16string& got) {
  ReportMismatch(data, size, what, expected, got);
}

// The text of a buffer up to its terminator; a buffer without one is a fault
// of its own, reported rather than read past.
template <typename Char>
std::basic_string<Char> Terminated(const std::uint8_t* data, std::size_t size, const char* what,
                                   const Char* buffer, std::size_t capacity) {
  for (std::size_t i = 0; i < capacity; ++i) {
    if (buffer[i] == 0) return std::basic_string<Char>(buffer, i);
  }
  Mismatch(data, size, what, "a terminated string", "no terminator in the buffer");
}

}  // namespace fuzz
