// The launcher's byte-string rules written plainly over std::string, as a
// second opinion on the byte-buffer code: the host tests and the fuzz targets
// compare the launcher's answers with these.
//
// They are written on purpose unlike the launcher's code (indices into a
// std::string instead of pointers into fixed buffers), so that a slip in one
// is unlikely to be repeated in the other. They take the module path as the
// platform reports it (see ReportedModulePath), not as it was set.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace oracle {

// The longest module path the platform reports: a longer one is cut to this
// many bytes (and terminated), as the module-path call does with 260 bytes of
// room; older systems fill all 260 and leave no terminator.
constexpr std::size_t kLongestReportedPath = 259;

// The path the launcher sees when the platform holds `path`: it ends at the
// first NUL byte and after kLongestReportedPath bytes (one more when the
// platform leaves long paths unterminated).
inline std::string ReportedModulePath(const std::string& path, bool unterminated = false) {
  const std::size_t longest = kLongestReportedPath + (unterminated ? 1 : 0);
  std::string reported;
  for (std::size_t i = 0; i < path.size() && i < longest; ++i) {
    if (path[i] == '\0') break;
    reported += path[i];
  }
  return reported;
}

// Only A-Z are lowered; every other byte, high bytes included, stays.
inline std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// The text after the last "\", "/" or ":", lowered. A separator in the first
// byte does not count.
inline std::string FileNameLower(const std::string& s) {
  std::size_t k = s.find_last_of("\\/:");
  if (k == std::string::npos || k == 0) return Lower(s);
  return Lower(s.substr(k + 1));
}

// The name the launcher probes for the game: its own path with everything from
// the last dot on replaced by "Main.exe", cut to the file name and lowered.
// "" when the path has no dot (no name, nothing probed).
inline std::string ExpectedGameName(const std::string& path) {
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos) return "";
  return "$$s$$" + FileNameLower(path.substr(0, dot) + "Main.exe");
}

// The companion's name: the file name after the path's last backslash becomes
// "Vek Launcher.exe". "" when the path has no backslash.
inline std::string ExpectedCompanionName(const std::string& path) {
  std::size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return "";
  return "$$s$$" + FileNameLower(path.substr(0, slash) + "\\Vek Launcher.exe");
}

// The index of the last c in s, or s.size() when there is none.
inline std::size_t LastIndexOf(const std::string& s, char c) {
  for (std::size_t i = s.size(); i > 0; --i) {
    if (s[i - 1] == c) return i - 1;
  }
  return s.size();
}

// The path the launcher starts: its own path with the file name replaced by
// "Q8Main.EXE". The file name follows the last "\"; only a path without any
// "\" looks for the last "/", and only one without either for the last ":".
// Without a path the bare name is started.
inline std::string ExpectedTargetPath(const std::string& reported, bool pathFails) {
  const std::string game = "Q8Main.EXE";
  if (pathFails) return game;
  for (char separator : {'\\', '/', ':'}) {
    const std::size_t at = LastIndexOf(reported, separator);
    if (at < reported.size()) return reported.substr(0, at + 1) + game;
  }
  return game;
}

// Where the command tail starts in line (which ends at its first NUL, as the
// launcher's terminated string does): past the program-name token and the
// bytes 0x01 to 0x20 after it. The token ends at the end of the line or at a
// byte at or below 0x20 outside double quotes; each double quote toggles
// quoting, and a lead byte carries the byte after it into the token unless
// the line ends there.
inline std::size_t CommandTailOffset(const std::string& line,
                                     const std::vector<unsigned char>& leadBytes) {
  std::vector<bool> isLead(256, false);
  for (unsigned char b : leadBytes) isLead[b] = true;
  std::size_t end = 0;
  while (end < line.size() && line[end] != '\0') ++end;
  std::size_t i = 0;
  bool inQuotes = false;
  while (i < end) {
    const unsigned byte = static_cast<unsigned char>(line[i]);
    if (!inQuotes && byte <= 0x20) break;
    if (byte == '"') {
      inQuotes = !inQuotes;
      i += 1;
    } else if (isLead[byte] && i + 1 < end) {
      i += 2;
    } else {
      i += 1;
    }
  }
  while (i < end && static_cast<unsigned char>(line[i]) >= 0x01 &&
         static_cast<unsigned char>(line[i]) <= 0x20) {
    ++i;
  }
  return i;
}

}  // namespace oracle
