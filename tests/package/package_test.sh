#!/usr/bin/env bash
# The Debian packages made from a build: their contents, lintian without error, and the programs
# unpacked into a scratch root (dpkg -x) running from there, away from the build tree and from any
# working directory: --version, the headless station recording a simulated reader into its XDG
# data folder and ending cleanly on SIGTERM, and the demo starting the simulators beside it.
#
#   package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
arch=$(dpkg --print-architecture)
scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits (at most $1 seconds) until the command that follows succeeds.
wait_for() {
  local deadline=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# ---- the packages
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack"; }
station_deb=$scratch/out/winorvex_${version}_${arch}.deb
sims_deb=$scratch/out/winorvex-simulators_${version}_${arch}.deb
if [ ! -f "$station_deb" ] || [ ! -f "$sims_deb" ]; then fail "packages: $(ls "$scratch/out")"; fi

dpkg-deb -c "$station_deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/station.list"
dpkg-deb -c "$sims_deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/sims.list"
expect_in() {
  local list=$1
  shift
  for path in "$@"; do grep -qxF "$path" "$list" || fail "$path missing from $(basename "$list" .list)"; done
}
station_programs=(winorvex winorvex-command winorvex-boxcmd winorvex-export winorvex-import winorvex-acquire winorvex-feed)
sim_programs=(orvex-box-sim winorvex-results-sim)
for program in "${station_programs[@]}"; do
  expect_in "$scratch/station.list" "/usr/bin/$program" "/usr/share/man/man1/$program.1.gz"
done
for program in "${sim_programs[@]}"; do
  expect_in "$scratch/sims.list" "/usr/bin/$program" "/usr/share/man/man1/$program.1.gz"
  ! grep -qxF "/usr/bin/$program" "$scratch/station.list" || fail "$program in the station's package"
done
expect_in "$scratch/station.list" /usr/share/applications/com.norvane.WinORVEX.desktop \
  /usr/share/metainfo/com.norvane.WinORVEX.metainfo.xml /usr/share/icons/hicolor/scalable/apps/winorvex.svg \
  "/usr/lib/systemd/system/winorvex-headless@.service" /usr/share/doc/winorvex/copyright \
  /usr/share/doc/winorvex/changelog.gz
for size in 16 22 24 32 48 64 128 256; do
  expect_in "$scratch/station.list" "/usr/share/icons/hicolor/${size}x${size}/apps/winorvex.png"
done
expect_in "$scratch/sims.list" /usr/share/doc/winorvex-simulators/copyright /usr/share/doc/winorvex-simulators/changelog.gz
# The libraries come from shlibdeps; the service's user from adduser in postinst.
depends=$(dpkg-deb -f "$station_deb" Depends)
for needed in libc6 libqt6core6 libqt6widgets6 libcurl4 adduser; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
dpkg-deb -I "$station_deb" postinst | grep -q "adduser --system" || fail "no postinst making the user"

lintian --fail-on error --tag-display-limit 0 "$station_deb" "$sims_deb" >"$scratch/lintian.log" 2>&1 ||
  { cat "$scratch/lintian.log"; fail "lintian reports errors"; }
if grep -q '^E:' "$scratch/lintian.log"; then cat "$scratch/lintian.log"; fail "lintian reports errors"; fi

# ---- unpacked into a scratch root
root=$scratch/root
dpkg -x "$station_deb" "$root"
dpkg -x "$sims_deb" "$root"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.norvane.WinORVEX.metainfo.xml" >"$scratch/appstream.log" 2>&1 ||
  { cat "$scratch/appstream.log"; fail "appstream metadata"; }
desktop-file-validate "$root/usr/share/applications/com.norvane.WinORVEX.desktop" || fail "desktop entry"
grep -q "^ExecStart=/usr/bin/winorvex --headless --data-dir /var/lib/winorvex/%i$" \
  "$root/usr/lib/systemd/system/winorvex-headless@.service" || fail "service command"

mkdir -p "$scratch/elsewhere" "$scratch/home" "$scratch/run"
cd "$scratch/elsewhere"
run_env=(env -i "PATH=/usr/bin:/bin" "HOME=$scratch/home" "XDG_RUNTIME_DIR=$scratch/run" "TZ=${TZ:-Europe/Paris}")
[ "$("${run_env[@]}" "$root/usr/bin/winorvex" --version)" = "winorvex $version" ] || fail "winorvex --version"

# A simulated reader from the package as box 1 of the XDG data folder.
"${run_env[@]}" "$root/usr/bin/orvex-box-sim" --port 0 --side-port 0 --rate 200 --count 30 --chip-count 50 --quiet \
  >"$scratch/sim.out" 2>&1 &
pids+=($!)
wait_for 20 grep -q "ready port=" "$scratch/sim.out" || fail "the reader simulator did not start"
port=$(sed -n 's/.*ready port=\([0-9]*\) side=\([0-9]*\).*/\1/p' "$scratch/sim.out")
side=$(sed -n 's/.*ready port=\([0-9]*\) side=\([0-9]*\).*/\2/p' "$scratch/sim.out")
data=$scratch/home/.local/share/Norvane/WinORVEX
mkdir -p "$data"
printf '[OrvexBoxes]\r\nBoxHost0=127.0.0.1\r\nBoxPort0=%s\r\nBoxIdDetector0=41\r\nBoxSidePort0=%s\r\n' "$port" "$side" \
  >"$data/WinORVEX.ini"
for n in $(seq 1 50); do printf '%d 0580%08X\r\n' $((100 + n)) "$n"; done >"$data/OrvexTable.dtb"

"${run_env[@]}" "$root/usr/bin/winorvex" --headless --lang en >"$scratch/station.out" 2>"$scratch/station.err" &
station=$!
pids+=("$station")
recorded() {
  local file
  file=$(find "$data/logfiles" -name 'WinORVEX-*.dat' 2>/dev/null | head -1)
  [ -n "$file" ] && [ "$(grep -c $'\t41\t' "$file")" -eq 30 ]
}
wait_for 30 recorded || { cat "$scratch/station.out" "$scratch/station.err"; fail "30 reads not recorded in $data"; }
kill -TERM "$station"
status=0
wait "$station" || status=$?
[ "$status" -eq 0 ] || { cat "$scratch/station.err"; fail "winorvex exited $status on SIGTERM"; }
grep -q -- "------------------------ Sortie WinORVEX" "$scratch/station.out" || fail "no exit procedure"
[ -z "$(ls -A "$scratch/elsewhere")" ] || fail "files written into the working directory: $(ls -A "$scratch/elsewhere")"

# The demo finds the simulators installed beside the station, not in the build tree.
"${run_env[@]}" "$root/usr/bin/winorvex" --demo --headless --data-dir "$scratch/demo" >"$scratch/demo.out" 2>&1 &
demo=$!
pids+=("$demo")
children() { [ "$(pgrep -P "$demo" | wc -l)" -ge 3 ]; }
wait_for 30 children || { cat "$scratch/demo.out"; fail "the demo did not start its simulators"; }
for child in $(pgrep -P "$demo"); do
  exe=$(readlink "/proc/$child/exe")
  case "$exe" in
    "$root/usr/bin/orvex-box-sim" | "$root/usr/bin/winorvex-results-sim") ;;
    *) fail "the demo started $exe" ;;
  esac
done
demo_recorded() { [ -n "$(cat "$scratch"/demo/logfiles/WinORVEX-*.dat 2>/dev/null)" ]; }
wait_for 30 demo_recorded || { cat "$scratch/demo.out"; fail "the demo recorded nothing"; }
kill -TERM "$demo"
status=0
wait "$demo" || status=$?
[ "$status" -eq 0 ] || fail "the demo exited $status on SIGTERM"
echo "packages ${station_deb##*/} and ${sims_deb##*/}: contents, lintian, installed run: all good"
