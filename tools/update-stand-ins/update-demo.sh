#!/usr/bin/env bash
# The updater's demo scene: a local update server whose manifest names another version, and
# three runs of Fresnaro on the current DISPLAY that save pictures of their own window:
#   1. checking, downloading, then the hand-over starts the installer stand-in;
#   2. the version just installed is the newest ("This is the newest version");
#   3. the installer is missing on the server ("Update program run failed,...");
#   4. the sibling product runs: the question before ending it (answered No, nothing ends).
# Usage: update-demo.sh PROGRAM_FOLDER OUTPUT_FOLDER
# Needs a DISPLAY (e.g. under xvfb-run -a -s "-screen 0 1280x800x24").
set -euo pipefail
prog=$(cd "${1:?program folder}" && pwd)
out=${2:?output folder}
mkdir -p "$out"
out=$(cd "$out" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
server=${UPDATE_TEST_SERVER:-$prog/../tools/update-test-server}
standin=${PRODUCT_STANDIN:-$prog/../tools/kavri-product-standin}
[ -x "$server" ] || { echo "update-demo: no update-test-server at $server" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "update-demo: needs a DISPLAY" >&2; exit 1; }

work=$(mktemp -d)
server_pid=
product_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    [ -n "$product_pid" ] && kill "$product_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A copy of the program folder, so that its settings and deploy.ini are the demo's own.
cp -a "$prog" "$work/prog"
mkdir -p "$work/prog/profiles" "$work/root/download/update" "$work/root/files" "$work/tmp"
printf '[basic]\nappver=1.0.0.1\n' > "$work/prog/profiles/config.ini"

"$server" --root "$work/root" --port-file "$work/port" --lifetime 180 --slice-pause-ms 4 &
server_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
host=127.0.0.1:$port
printf '[Deploy]\nupdate_host=%s\n' "$host" > "$work/prog/deploy.ini"

# The installer stand-in records that it ran; padded so that the download takes a while.
{
    printf '#!/bin/sh\necho "installer ran: $0" > "%s/installer-ran.txt"\nexit 0\n' "$out"
    head -c 600000 /dev/zero | tr '\0' '#'
    printf '\n'
} > "$work/root/files/Palomine_setup.exe"

manifest() {
    printf '{"Kestrova":[{"Version":"1.0.0.2","Nversion":"1.0.0.2","Update_URL":"http://%s/files/Kestrova_setup.exe"}],\n' "$host"
    printf ' "Palomine":[{"Version":"1.0.0.2","Nversion":"1.0.0.2","Update_URL":"http://%s/files/%s"}]}\n' "$host" "$1"
}

run() { # name
    mkdir -p "$work/shots-$1"
    (cd "$work/prog" && TMPDIR="$work/tmp" KAVRI_UPDATE_HOST="$host" \
        FRESNARO_SNAPSHOT_DIR="$work/shots-$1" timeout 90 ./Fresnaro) || true
    for f in "$work/shots-$1"/*.png; do
        [ -e "$f" ] && cp "$f" "$out/updater-$1-$(basename "$f")"
    done
}

manifest Palomine_setup.exe > "$work/root/download/update/kavri_update.txt"
rm -f "$out/installer-ran.txt"
run 1-update
manifest Palomine_setup.exe > "$work/root/download/update/kavri_update.txt"
run 2-newest
sed -i 's/appver=.*/appver=1.0.0.1/' "$work/prog/profiles/config.ini"
manifest missing.exe > "$work/root/download/update/kavri_update.txt"
run 3-missing
if [ -x "$standin" ]; then
    sed -i 's/appver=.*/appver=1.0.0.1/' "$work/prog/profiles/config.ini"
    manifest Palomine_setup.exe > "$work/root/download/update/kavri_update.txt"
    "$standin" --guard KavriPalomine --ready "$work/product-ready" --lifetime 120 &
    product_pid=$!
    for _ in $(seq 50); do [ -s "$work/product-ready" ] && break; sleep 0.1; done
    run 4-product-running
    kill "$product_pid" 2>/dev/null || true
    product_pid=
fi

echo "update-demo: pictures in $out"
[ -f "$out/installer-ran.txt" ] && cat "$out/installer-ran.txt"
ls "$out" | grep '^updater-' || true
