#!/usr/bin/env bash
# Tests scripts/release.sh: signed with a throwaway CA and code-signing
# certificate, and time-stamped by a local authority (tests/release/tsa.py),
# the programs verify against that CA (and not another), the signature comes
# off to give exactly the unsigned bytes, the key goes nowhere, two unsigned
# runs give the same zip, SHA256SUMS covers every other file of the bundle and
# checks out, the zip's .sha256 beside it too, and a signed Q8.exe passes
# end-to-end launch scenarios under Wine (the bundle's, or where the host runs
# no 32-bit programs, the x86-64 build signed alike). Leaves the unsigned
# bundle in dist/.
#   tests/release/release_test.sh bundle | e2e ARCH
# In two parts, which the test run starts as two tests (release.bundle and
# release.signed-e2e), so that the first need not wait for the Windows builds
# and Wine: the bundle, signed and checked; then the signed launcher end to end.
set -euo pipefail
cd "$(dirname "$0")/../.."

part="${1:-}"
# Kept between the parts; removed after the second, with its throwaway key.
work="$PWD/build/release-test"
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid"' EXIT
fail() {
  echo "release test: FAILED: $*" >&2
  exit 1
}

source scripts/project.sh
name="q8-launcher-$(q8_version)"
zip="dist/$name.zip"

# A throwaway CA, a code-signing and a time-stamping certificate from it, and
# an unrelated CA.
ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" \
    -days 2 -subj "/CN=Q8 Release Test $1" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign" 2>/dev/null
}
issue() {
  openssl req -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.csr" \
    -subj "/CN=Q8 Release Test $1" 2>/dev/null
  printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=critical,%s\n' "$2" >"$work/$1.ext"
  openssl x509 -req -in "$work/$1.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
    -CAcreateserial -days 2 -extfile "$work/$1.ext" -out "$work/$1.pem" 2>/dev/null
}

# Unpacks the bundle into $work/$1 and checks its entries and checksums.
unpack() {
  [ "$(unzip -Z1 "$zip" | paste -sd' ')" = "$name/ ${q8_bundle[*]/#/$name/} $name/SHA256SUMS" ] ||
    fail "unexpected entries in $zip"
  unzip -q "$zip" -d "$work/$1"
  [ "$(cut -d' ' -f3 "$work/$1/$name/SHA256SUMS" | paste -sd' ')" = "${q8_bundle[*]}" ] ||
    fail "SHA256SUMS does not list exactly the bundle's files ($1)"
  (cd "$work/$1/$name" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS ($1)"
  (cd dist && sha256sum --quiet -c "$name.zip.sha256") || fail "$zip.sha256 ($1)"
}

# The bundle: signed and time-stamped, then unsigned twice.
bundle() {
  rm -rf "$work"
  mkdir -p "$work"
  ca ca && ca other && issue signer codeSigning && issue tsa timeStamping

  printf '%s\n' "[tsa]" "default_tsa = q8" "[q8]" "serial = $work/tsa.serial" \
    "signer_cert = $work/tsa.pem" "signer_key = $work/tsa.key" "signer_digest = sha256" \
    "default_policy = 1.2.3.4.1" "digests = sha256" "ess_cert_id_alg = sha256" >"$work/tsa.cnf"
  echo 01 >"$work/tsa.serial"
  python3 tests/release/tsa.py "$work/tsa.cnf" >"$work/tsa.port" &
  tsa_pid=$!
  port=""
  for _ in $(seq 50); do read -r port <"$work/tsa.port" && break; sleep 0.1; done
  tsa_url="http://127.0.0.1:$port/"

  bash scripts/release.sh --sign "$work/signer.pem" "$work/signer.key" --timestamp "$tsa_url" \
    >"$work/signed.log" 2>&1 ||
    { cat "$work/signed.log" >&2; fail "the signed release"; }
  unpack signed
  key_line="$(sed -n 2p "$work/signer.key")"
  if grep -rqF -e "$key_line" -e "PRIVATE KEY" "$work/signed.log" "$work/signed" dist; then
    fail "the key shows in the output or the bundle"
  fi

  bash scripts/release.sh >/dev/null 2>&1 || fail "the first unsigned release"
  cp "$zip" "$work/first.zip"
  bash scripts/release.sh >"$work/unsigned.log" 2>&1 || fail "the second unsigned release"
  cmp -s "$zip" "$work/first.zip" || fail "two unsigned runs give different zips"
  unpack unsigned
  if grep -rqF -e "$PWD" "$work/unsigned"; then
    fail "the bundle names the paths of this checkout"
  fi
  echo "release: two runs give the same $zip ($(stat -c %s "$zip") bytes), SHA256SUMS checks"

  for exe in "${q8_programs[@]/%/.exe}"; do
    signed="$work/signed/$name/$exe"
    osslsigncode verify -CAfile "$work/ca.pem" -TSA-CAfile "$work/ca.pem" -in "$signed" \
      >"$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "$exe does not verify"; }
    grep -q "^Timestamp Server Signature verification: ok" "$work/verify.log" ||
      fail "$exe carries no valid time stamp"
    if osslsigncode verify -CAfile "$work/other.pem" -in "$signed" >/dev/null 2>&1; then
      fail "$exe verifies against an unrelated CA"
    fi
    osslsigncode remove-signature -in "$signed" -out "$work/$exe" >/dev/null ||
      fail "removing the signature of $exe"
    cmp -s "$work/$exe" "$work/unsigned/$name/$exe" ||
      fail "$exe without its signature differs from the unsigned build"
  done
  echo "release: signed, time-stamped ${q8_programs[*]/%/.exe} verify; unsigned again, they are the build"
}

# A signed launcher under Wine, with the end-to-end tests' harness and game, in
# a prefix of its own within the test run: the bundle's Q8.exe
# where this host runs 32-bit programs, else the x86-64 build signed the same
# way, with the checks of the file still on the bundle's Q8.exe.
signed_end_to_end() {
  local arch="$1" signed="$work/signed/$name/Q8.exe"
  [ -f "$signed" ] || fail "no signed bundle in $work: the bundle part comes first"
  if [ "$arch" = win64 ]; then
    osslsigncode sign -certs "$work/signer.pem" -key "$work/signer.key" -h sha256 \
      -in build/win64/Q8.exe -out "$work/Q8-win64.exe" >/dev/null || fail "signing the x86-64 Q8.exe"
    osslsigncode verify -CAfile "$work/ca.pem" -in "$work/Q8-win64.exe" >/dev/null 2>&1 ||
      fail "the signed x86-64 Q8.exe does not verify"
    export Q8_E2E_SHIPPED="Z:${signed//\//\\}"
    signed="$work/Q8-win64.exe"
  fi
  Q8_E2E_LAUNCHER="Z:${signed//\//\\}" bash scripts/wine-run.sh scenario "$arch" release.signed \
    C.UTF-8 "build/$arch/q8_e2e_tests.exe" --gtest_brief=1 \
    --gtest_filter='Binary.*:Launch.HandsTheGameExactlyItsTail:Launch.NoArgumentsHandTheGameAnEmptyTail:Launch.AMissingGameIsReportedInAMessageBox' ||
    fail "the signed Q8.exe end to end"
  echo "release: the signed $arch Q8.exe passes the end-to-end launch scenarios"
  rm -rf "$work"
}

case "$part" in
  bundle) bundle ;;
  e2e) signed_end_to_end "${2:?the architecture Wine runs: win32 or win64}" ;;
  *) echo "usage: $0 bundle | e2e ARCH" >&2; exit 2 ;;
esac
