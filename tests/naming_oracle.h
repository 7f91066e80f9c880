// The launcher's naming, target-path and command-line rules written plainly
// over std::string and std::u16string, as a second opinion on the buffer
// code: the host tests and the fuzz targets compare the launcher's answers
// with these.
//
// They are written on purpose unlike the launcher's code (indices into a
// string instead of pointers into fixed buffers, UTF-16 taken as characters
// rather than units), so that a slip in one is unlikely to be repeated in the
// other. They take the module path as the
// platform reports it (see ReportedModulePath), not as it was set.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace oracle {

// The longest module path the platform reports: a longer one is cut to this
// many characters (and terminated), as the module-path calls do with 260
// characters of room; older systems fill all 260 and leave no terminator.
constexpr std::size_t kLongestReportedPath = 259;

// The path the launcher sees when the platform holds `path` (bytes in the
// ANSI code page, or UTF-16 units): it ends at the first zero and after
// kLongestReportedPath characters (one more when the platform leaves long
// paths unterminated).
template <typename String>
String ReportedModulePath(const String& path, bool unterminated = false) {
  const std::size_t longest = kLongestReportedPath + (unterminated ? 1 : 0);
  String reported;
  for (std::size_t i = 0; i < path.size() && i < longest; ++i) {
    if (path[i] == 0) break;
    reported += path[i];
  }
  return reported;
}

// UTF-16 as characters: a surrogate pair is one character, a lone surrogate
// stands for itself. Each character keeps the index of its first unit.
struct Character {
  char32_t code;
  std::size_t at;
};

inline std::vector<Character> Characters(const std::u16string& s) {
  std::vector<Character> out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char32_t unit = s[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      out.push_back({0x10000 + ((unit - 0xD800) << 10) + (s[i + 1] - 0xDC00), i});
      ++i;
    } else {
      out.push_back({unit, i});
    }
  }
  return out;
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

// The path the launcher starts: its own UTF-16 path with the file name
// replaced by "Q8Main.EXE". The file name follows the last "\"; only a path
// without any "\" looks for the last "/", and only one without either for the
// last ":". Without a path the bare name is started.
inline std::u16string ExpectedTargetPath(const std::u16string& reported, bool pathFails) {
  const std::u16string game = u"Q8Main.EXE";
  if (pathFails) return game;
  const std::vector<Character> characters = Characters(reported);
  for (char32_t separator : {U'\\', U'/', U':'}) {
    for (std::size_t k = characters.size(); k > 0; --k) {
      if (characters[k - 1].code == separator)
        return reported.substr(0, characters[k - 1].at + 1) + game;
    }
  }
  return game;
}

// Where the command tail starts in line (which ends at its first zero unit, as
// the launcher's terminated string does), in UTF-16 units: past the
// program-name token and the characters U+0001 to U+0020 after it. The token
// ends at the end of the line or at a character at or below U+0020 outside
// double quotes; each double quote toggles quoting.
inline std::size_t CommandTailOffset(const std::u16string& line) {
  const std::u16string terminated = line.substr(0, line.find(u'\0'));
  const std::vector<Character> characters = Characters(terminated);
  std::size_t k = 0;
  bool inQuotes = false;
  for (; k < characters.size(); ++k) {
    if (!inQuotes && characters[k].code <= 0x20) break;
    if (characters[k].code == U'"') inQuotes = !inQuotes;
  }
  while (k < characters.size() && characters[k].code >= 0x01 && characters[k].code <= 0x20) ++k;
  return k < characters.size() ? characters[k].at : terminated.size();
}

}  // namespace oracle
