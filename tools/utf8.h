// UTF-8 <-> UTF-16 for the tools and the end-to-end tests, which keep text in
// UTF-8 and talk to Windows with its wide calls.
#pragma once

#include <windows.h>

#include <string>

inline std::string Utf8(const wchar_t* text, int length = -1) {
  if (length < 0) length = lstrlenW(text);
  std::string utf8(3 * static_cast<size_t>(length), '\0');  // 3 bytes a unit at most
  utf8.resize(length == 0 ? 0
                          : WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0],
                                                static_cast<int>(utf8.size()), nullptr, nullptr));
  return utf8;
}

inline std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');  // a unit a byte at most
  wide.resize(utf8.empty()
                  ? 0
                  : MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                        &wide[0], static_cast<int>(wide.size())));
  return wide;
}

// What the system's ANSI code page makes of a UTF-8 text, as the ANSI calls
// see it.
inline std::string Ansi(const std::string& utf8) {
  const std::wstring wide = Wide(utf8);
  std::string ansi(2 * wide.size(), '\0');  // two bytes a unit at most
  ansi.resize(wide.empty()
                  ? 0
                  : WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                        &ansi[0], static_cast<int>(ansi.size()), nullptr, nullptr));
  return ansi;
}
