// The names of the launcher's two events. Any program that opens them (the
// quit tool, tests) must use these same constants.
//
// Each name is 16 bytes with no zero byte and no backslash, mixing control,
// printable and high bytes, with no namespace prefix. They differ in their
// first byte, a printable ASCII one, so they stay distinct whatever ANSI code
// page converts them (a lead byte of a double-byte code page may swallow the
// byte after it, but never the first one).
#pragma once

constexpr char kInstanceEventName[] =
    "I\x01q8\xA7L\x1F\xE9Nch\x7F\xB3"
    "5t\x02";
constexpr char kQuitEventName[] =
    "Q\x01q8\xA7L\x1F\xE9Nch\x7F\xB3"
    "5u\x03";

static_assert(sizeof(kInstanceEventName) == 17, "16 bytes and the terminator");
static_assert(sizeof(kQuitEventName) == 17, "16 bytes and the terminator");
