#!/usr/bin/env bash
# Builds the bundle the game's developers ship: a clean build of Q8.exe,
# Q8Quit.exe and Q8Doctor.exe in a fresh build folder, the generated
# q8_presence.h, INTEGRATION.md and LICENSE, with SHA256SUMS over them, zipped
# as dist/q8-launcher-<version>/ into dist/q8-launcher-<version>.zip, and the
# zip's own checksum beside it, dist/q8-launcher-<version>.zip.sha256.
#   scripts/release.sh [--prove] [--sign CERT.pem KEY.pem [--timestamp URL]]
# --prove first runs the 32-bit end-to-end tests (scripts/test.sh
# e2e-win32-vm: here where this host can, else in an emulated machine), and
# writes no bundle unless they passed.
# Unsigned, two runs on the same sources give the same zip, byte for byte:
# every file carries the last commit's time (or SOURCE_DATE_EPOCH), the
# entries come in a fixed order with fixed modes, and nothing names this host
# or its paths. --sign signs the three programs with Authenticode (SHA-256)
# before the checksums are taken; --timestamp adds an RFC 3161 time stamp from
# URL.
# The key is handed to osslsigncode only: never printed, logged or copied.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

usage() {
  echo "usage: $0 [--prove] [--sign CERT.pem KEY.pem [--timestamp URL]]" >&2
  exit 2
}

cert="" key="" tsa="" prove=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prove) prove=1; shift ;;
    --sign) [ $# -ge 3 ] || usage; cert="$2"; key="$3"; shift 3 ;;
    --timestamp) [ $# -ge 2 ] || usage; tsa="$2"; shift 2 ;;
    *) usage ;;
  esac
done
if [ -n "$tsa" ] && [ -z "$cert" ]; then
  echo "release: --timestamp needs --sign" >&2
  exit 2
fi
if [ -n "$cert" ]; then
  [ -r "$cert" ] || { echo "release: the certificate file cannot be read" >&2; exit 2; }
  [ -r "$key" ] || { echo "release: the key file cannot be read" >&2; exit 2; }
  cert="$(realpath "$cert")"
  key="$(realpath "$key")"
fi

cd "$root"
source scripts/project.sh
bash scripts/setup.sh
if [ -n "$prove" ] && ! bash scripts/test.sh e2e-win32-vm; then
  echo "release: the 32-bit end-to-end tests did not pass: no bundle" >&2
  exit 1
fi
version="$(q8_version)"
name="q8-launcher-$version"

if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "release: note: the work tree has uncommitted changes, and the bundle holds them" >&2
fi
epoch="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 946684800)}"

# A fresh build folder: nothing from an earlier build or another preset.
build="build/release"
rm -rf "$build"
mkdir -p "$build"
log="$build/build.log"
if ! { cmake -S . -B "$build" -G Ninja --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel &&
       cmake --build "$build" -j"$(nproc)" --target "${q8_programs[@]}" q8_presence_header; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "release: the build failed" >&2
  exit 1
fi
size="$(stat -c %s "$build/Q8.exe")"
if [ "$size" -gt "$q8_size_limit" ]; then
  echo "release: Q8.exe is $size bytes, more than $q8_size_limit" >&2
  exit 1
fi

stage="$build/stage/$name"
mkdir -p "$stage"
for file in "${q8_bundle[@]}"; do
  case "$file" in
    *.exe) ;;  # below
    q8_presence.h) cp "$build/include/$file" "$stage/" ;;
    *) cp "$file" "$stage/" ;;
  esac
done
for i in "${!q8_programs[@]}"; do
  exe="${q8_programs[$i]}.exe"
  if [ -z "$cert" ]; then
    cp "$build/$exe" "$stage/$exe"
    continue
  fi
  # osslsigncode reports on stdout; its errors (on stderr) never hold the key.
  if ! osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "${q8_descriptions[$i]}" \
         ${tsa:+-ts "$tsa"} -in "$build/$exe" -out "$stage/$exe" >/dev/null; then
    echo "release: signing $exe failed" >&2
    exit 1
  fi
done

files=("${q8_bundle[@]}")
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS)
files+=(SHA256SUMS)
chmod 0644 "${files[@]/#/$stage/}"
chmod 0755 "$stage"
touch -d "@$epoch" "${files[@]/#/$stage/}" "$stage"

mkdir -p dist
zip="dist/$name.zip"
rm -f "$zip" "$build/$name.zip"
# -X: no owner ids or extra time stamps; UTC, since zip keeps local times.
(cd "$build/stage" && TZ=UTC zip -q -X -9 "../$name.zip" "$name/" "${files[@]/#/$name/}")
mv "$build/$name.zip" "$zip"
(cd dist && sha256sum "$name.zip" >"$name.zip.sha256")

echo "release: $zip ($(stat -c %s "$zip") bytes, $([ -n "$cert" ] && echo signed || echo unsigned))"
echo "sha256: $(cut -d' ' -f1 "$zip.sha256") (in $zip.sha256)"
(cd "$stage" && sed 's/^/  /' SHA256SUMS)
