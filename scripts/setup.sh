#!/usr/bin/env bash
# Installs what building and testing the launcher needs on a Debian machine:
# CMake and Ninja, the i686 and x86-64 MinGW-w64 cross compilers (posix
# threads), 32- and 64-bit Wine, Xvfb, GoogleTest (its sources, and its
# libraries built for the host), clang with its fuzzing and sanitizer
# runtimes, the Japanese locale (Wine's code page 932, for end-to-end tests run
# under LANG=ja_JP.UTF-8), and what the release bundle needs (zip,
# osslsigncode, openssl; python3 runs the release test's local time-stamping
# authority). Safe to run again; quiet when all is there.
set -euo pipefail

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in cmake ninja-build make g++ googletest g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
         g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
         libgtest-dev wine wine64 wine32:i386 xvfb clang libclang-rt-14-dev locales \
         zip unzip osslsigncode openssl python3; do
  have "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  echo "setup: generating the locale ja_JP.UTF-8"
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
