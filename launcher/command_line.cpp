#include "launcher/command_line.h"

const plat::WideChar* CommandTail(const plat::WideChar* commandLine) {
  const plat::WideChar* p = commandLine != nullptr ? commandLine : u"";
  bool quoted = false;
  while (*p != 0) {
    if (*p <= u' ' && !quoted) break;
    if (*p == u'"') quoted = !quoted;
    ++p;
  }
  while (*p >= 0x01 && *p <= u' ') ++p;
  return p;
}
