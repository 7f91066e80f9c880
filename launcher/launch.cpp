#include "launcher/launch.h"

#include <cstring>

#include "launcher/presence/presence.h"

namespace {

// The last c in the terminated text s, or nullptr.
plat::WideChar* LastOf(plat::WideChar* s, plat::WideChar c) {
  plat::WideChar* last = nullptr;
  for (; *s != 0; ++s) {
    if (*s == c) last = s;
  }
  return last;
}

}  // namespace

void BuildTargetPath(plat::WideChar (&target)[kTargetBufferSize]) {
  std::memset(target, 0, sizeof target);
  std::memcpy(target, kGameExecutable, sizeof kGameExecutable);
  const unsigned long count = plat::OwnModulePathWide(target, plat::kMaxPath);
  if (count == 0) {
    // The call may have written into the buffer; fall back to the bare name,
    // which the shell resolves against the current directory.
    std::memcpy(target, kGameExecutable, sizeof kGameExecutable);
    return;
  }
  // A "\" anywhere wins over a later "/", and a "/" over a later ":".
  plat::WideChar* name = target;
  if (plat::WideChar* at = LastOf(target, u'\\')) {
    name = at + 1;
  } else if (plat::WideChar* at = LastOf(target, u'/')) {
    name = at + 1;
  } else if (plat::WideChar* at = LastOf(target, u':')) {
    name = at + 1;
  }
  // The buffer has room for the game's name after any position the path can
  // reach, so a name starting late is still written whole.
  std::memcpy(name, kGameExecutable, sizeof kGameExecutable);
}

const plat::WideChar* ErrorName(unsigned long code, plat::WideChar (&hex)[11]) {
  switch (code) {
    case 2:
      return u"ERROR_FILE_NOT_FOUND";
    case 3:
      return u"ERROR_PATH_NOT_FOUND";
    case 5:
      return u"ERROR_ACCESS_DENIED";
    case 8:
      return u"ERROR_NOT_ENOUGH_MEMORY";
    case 32:
      return u"ERROR_SHARING_VIOLATION";
    case 1155:
      return u"ERROR_NO_ASSOCIATION";
    case 1156:
      return u"ERROR_DDE_FAIL";
    case 1157:
      return u"ERROR_DLL_NOT_FOUND";
    case 1223:
      return u"ERROR_CANCELLED";
    default:
      // "0x%08lx": eight lower-case hexadecimal digits of the 32-bit code.
      hex[0] = u'0';
      hex[1] = u'x';
      for (int i = 0; i < 8; ++i) hex[2 + i] = u"0123456789abcdef"[(code >> (28 - 4 * i)) & 0xF];
      hex[10] = 0;
      return hex;
  }
}

bool LaunchGame(const plat::WideChar* target, const plat::WideChar* tail) {
  plat::ShellExecuteInfo info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = plat::kSeeMaskFlagNoUi;  // no error dialog of the shell's own
  info.lpVerb = u"open";
  info.lpFile = target;
  info.lpParameters = tail;
  info.nShow = plat::kSwShow;
  return plat::ShellExecuteFile(&info);
}

bool WaitForGameStartup() {
  return WaitForStartup(IsGameRunning);
}
