#!/usr/bin/env bash
# setupkit attach end to end under Wine: the build's stub (no payload), the demo installer and
# a second file are attached by setupkit.exe (the Windows build of the tool), and then
#   - the native setupkit makes the same bytes from the same inputs;
#   - Windows finds DAT/BRENLOW in the result: the new archive, byte for byte; the version
#     record, manifest, icon and a bitmap are the stub's;
#   - Windows' own checksum routine agrees with the stored checksum.
#
#   bash tests/e2e/attach_run.sh SETUPKIT_EXE HOST_SETUPKIT RESCHECK_EXE LAUNCHER INSTALLER
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
abs() { realpath -m "$1"; }
setupkit_exe=$(abs "$1") host_setupkit=$(abs "$2") rescheck=$(abs "$3") launcher=$(abs "$4") installer=$(abs "$5")
source "$here/scripts/xvfb.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"; stop_xvfb' EXIT
# The display comes first: the first Wine program of a session starts the prefix's desktop
# process, and a desktop started without a display shows the launcher's windows nowhere.
[ -n "${DISPLAY:-}" ] || start_xvfb
fail() { echo "attach_run: FAIL: $*" >&2; exit 1; }
win() { (cd "$work" && "$here/scripts/wine-run.sh" "$@"); }

cp "$launcher" "$work/stub.exe"
cp "$setupkit_exe" "$work/setupkit.exe"
cp "$rescheck" "$work/rescheck.exe"
cp "$installer" "$work/instTQ.exe"
printf 'read me first\r\n' >"$work/readme.txt"

win setupkit.exe attach stub.exe instTQ.exe readme.txt -o attached.exe || fail "setupkit.exe attach failed"
(cd "$work" && "$host_setupkit" attach stub.exe instTQ.exe readme.txt -o native.exe) || fail "setupkit attach failed"
cmp -s "$work/attached.exe" "$work/native.exe" || fail "setupkit.exe and setupkit made different launchers"
(cd "$work" && "$host_setupkit" pack payload.dat instTQ.exe readme.txt)

win rescheck.exe attached.exe DAT BRENLOW got.dat || fail "Windows finds no DAT/BRENLOW resource"
cmp -s "$work/got.dat" "$work/payload.dat" || fail "DAT/BRENLOW is not the attached archive"
for res in "#16 #1" "#24 #1" "#14 #1" "ZBMP BINSTALL"; do
  set -- $res
  win rescheck.exe stub.exe "$1" "$2" before.bin || fail "the stub has no resource $res"
  win rescheck.exe attached.exe "$1" "$2" after.bin || fail "the launcher lost resource $res"
  cmp -s "$work/before.bin" "$work/after.bin" || fail "resource $res changed"
done
sums=$(win rescheck.exe attached.exe --checksum | tr -d '\r')
read -r _ stored _ computed <<<"$sums"
[ "$stored" = "$computed" ] || fail "checksum: $sums"
echo "attach_run: resources and checksum as Windows reads them ($sums)"

# Every launcher of the build is attached from its stub the same way, so e2e_verify and
# e2e_pipeline run attached launchers through the whole flow; this test covers what Windows
# reads of the image.
echo "attach_run: PASS"
