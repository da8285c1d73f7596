#!/usr/bin/env bash
# Installers are signed after packing: a signed installer verifies, still runs
# and installs, and sfxpack still reads it (info says that it does not check
# the signature, which a changed byte breaks); re-packing a signed installer drops
# the signature with a warning, and the result signs again.
#   signing_test.sh BUILD_DIR WINE_STATE
set -euo pipefail
build=$1 state=$2
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/wine-run" "$state" || exit  # 77: this machine cannot run the session's programs
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
run() { "$root/scripts/wine-run" "$state" "$@"; }
windows() { echo "Z:${1//\//\\}"; }
fail() { echo "FAILED: $*"; exit 1; }

# A certificate made on the spot.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillmoor test signer" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
sign() { osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$1" -out "$2" >/dev/null; }
verify_signature() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1 | grep -q "Signature verification: ok"; }

mkdir "$work/files"
printf 'signed and sound\n' >"$work/files/readme.txt"
# With a vendor's identity: a version block and a manifest of its own.
run "$build/sfxpack.exe" create --stub "$(windows "$build/sfxstub.exe")" -o "$(windows "$work/installer.exe")" \
    --version-string ProductName=Signed --publisher Contoso --execution-level asInvoker \
    "$(windows "$work/files")" >/dev/null
sign "$work/installer.exe" "$work/signed.exe"
verify_signature "$work/signed.exe" || fail "the signed installer does not verify"
echo "signed installer verifies"

run "$build/sfxpack.exe" verify "$(windows "$work/signed.exe")" >/dev/null || fail "sfxpack verify refuses it"
run "$build/sfxpack.exe" list "$(windows "$work/signed.exe")" | grep -q "readme.txt" || fail "sfxpack list"
run "$build/sfxpack.exe" info "$(windows "$work/signed.exe")" | grep -q "signature: present (.* bytes, not checked" ||
    fail "sfxpack info"
echo "sfxpack reads it"

# A byte changed after signing (in the DOS stub's text, which nothing reads
# but the signature covers): the signature no longer holds, and info claims
# nothing about it but that it is there, unchecked.
cp "$work/signed.exe" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=80 conv=notrunc status=none
verify_signature "$work/tampered.exe" && fail "a changed installer still verifies"
shown=$(run "$build/sfxpack.exe" info "$(windows "$work/tampered.exe")" | tr -d '\r' | grep "^signature:")
grep -q "^signature: present (.* bytes, not checked" <<<"$shown" || fail "info on a changed installer: $shown"
echo "info says it did not check a signature"

rm -rf "$state/prefix/drive_c/Quillmoor"
shown=$(run "$build/installer_driver.exe" "$(windows "$work/signed.exe")" | tr -d '\r') || true
grep -q "box (information): All files successfully extract" <<<"$shown" || fail "no success: $shown"
grep -q "exit code: 18" <<<"$shown" || fail "exit code: $shown"
[ "$(cat "$state/prefix/drive_c/Quillmoor/readme.txt")" = "signed and sound" ] || fail "not installed"
echo "the signed installer runs and installs"

warning=$(run "$build/sfxpack.exe" create --stub "$(windows "$work/signed.exe")" \
    -o "$(windows "$work/repacked.exe")" "$(windows "$work/files")" 2>&1 >/dev/null | tr -d '\r')
grep -q "signature was removed" <<<"$warning" || fail "no warning on re-packing: $warning"
verify_signature "$work/repacked.exe" && fail "the re-packed installer still claims a signature"
sign "$work/repacked.exe" "$work/resigned.exe"
verify_signature "$work/resigned.exe" || fail "the re-packed installer does not sign again"
echo "re-packing drops the signature with a warning, and the result signs again"
