# What the scripts share, sourced by those that need it: what ships and its
# version, the clang that builds the fuzz targets (with its sanitizer and
# fuzzer runtime of the same version), whether this host runs 32-bit programs
# and which build Wine runs here.

Q8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The programs that ship, by their CMake targets (each makes TARGET.exe), the
# launcher first, and the description each is signed with; the release
# bundle's files in their order, SHA256SUMS (over them) aside; and Q8.exe's
# size limits in bytes, in all and outside its resources.
q8_programs=(Q8 Q8Quit Q8Doctor)
q8_descriptions=("Q8 Game Launcher" "Q8 Launcher Quit Tool" "Q8 Launcher Doctor")
q8_bundle=("${q8_programs[@]/%/.exe}" q8_presence.h INTEGRATION.md LICENSE)
q8_size_limit=32768 q8_code_limit=16384

# The version, as resources/version.h defines it, read by the code that also
# writes it into the presence header.
q8_version() {
  cmake -DQ8_ROOT="$Q8_ROOT" -P "$Q8_ROOT/cmake/presence_header.cmake"
}

# The sanitizer build's preset names it.
Q8_CLANG_VERSION="$(sed -n 's/.*"CMAKE_CXX_COMPILER": "clang++-\([0-9]*\)".*/\1/p' "$Q8_ROOT/CMakePresets.json")"

# Whether this host runs 32-bit programs, found out once by running one, a
# static i386 program that only exits with 0, unless Q8_RUN_32BIT says already
# (0 makes a host that can behave as one that cannot). Some kernels run only
# 64-bit programs: the probe then gets "Exec format error", as 32-bit Wine
# would. Exports Q8_RUN_32BIT (1 or 0) for the tests and scripts run later,
# and, where it is 0, Q8_NO_32BIT with why.
host_runs_32bit() {
  if [ -z "${Q8_RUN_32BIT:-}" ]; then
    local probe
    probe="$(mktemp)"
    {
      # The ELF header: 32-bit, little-endian, an executable for i386
      # entered at 0x08048054, with one program header.
      printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08'
      printf '\x34\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0'
      # It loads the file's 93 bytes at 0x08048000, readable and executable.
      printf '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0'
      # mov eax, 1 (exit); xor ebx, ebx (code 0); int 0x80
      printf '\xb8\x01\0\0\0\x31\xdb\xcd\x80'
    } >"$probe"
    chmod +x "$probe"
    Q8_RUN_32BIT=1
    "$probe" 2>/dev/null || Q8_RUN_32BIT=0 Q8_NO_32BIT="this host cannot run 32-bit programs"
    rm -f "$probe"
    export Q8_RUN_32BIT Q8_NO_32BIT
  fi
  [ "$Q8_RUN_32BIT" = 1 ] && return
  export Q8_NO_32BIT="${Q8_NO_32BIT:-Q8_RUN_32BIT=0}"
  return 1
}

# The build Wine runs here, once what setup installs is there: win32, which
# ships, where the host runs 32-bit programs and 32-bit Wine starts, else
# win64, the same sources for x86-64 under 64-bit Wine. Exports Q8_RUN_ARCH,
# and Q8_RUN_WHY with the reason for win64, so that the scripts a run starts
# decide alike.
run_arch() {
  if [ -z "${Q8_RUN_ARCH:-}" ]; then
    Q8_RUN_ARCH=win64 Q8_RUN_WHY=""
    if ! host_runs_32bit; then
      Q8_RUN_WHY="$Q8_NO_32BIT"
    elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      # Its loader is the one 32-bit program 32-bit Wine always runs.
      Q8_RUN_WHY="32-bit Wine is not installed or does not start"
    else
      Q8_RUN_ARCH=win32
    fi
    export Q8_RUN_ARCH Q8_RUN_WHY
  fi
}
