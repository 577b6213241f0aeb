#!/usr/bin/env bash
# The windowed launcher under Wine on an X display: a game folder with a launcher carrying a
# test package, an update server (nginx) with a release whose client is a stand-in that
# records how it was started. The window must appear with the instance name and the skin's
# size, reach the ready state, start the client from its start button, open the settings
# window, write its settings file on closing, and a second copy must bring the first forward
# and end with 0. Screenshots of each state are left in SHOTS (default: the work folder).
# Usage: gui-under-wine.sh SOURCE_DIR BINARY_DIR [SHOTS]
set -euo pipefail
src=$1 bin=$2
tmp=$(mktemp -d "$bin/gui-e2e.XXXXXX")
shots=${3:-$tmp/shots}
mkdir -p "$shots"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  bash "$src/scripts/local-nginx" stop "$tmp/nginx" >/dev/null 2>&1 || true
  [ -n "${KEEP:-}" ] || rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
[ -n "${DISPLAY:-}" ] || fail "no X display (run under xvfb-run)"
wine_run() { "$src/scripts/wine-run" "$@"; }
pack=$bin/tools/tarvos-pack/tarvos-pack.exe
publish=$bin/tools/tarvos-publish/tarvos-publish.exe

# The release on the server: the client stand-in and a data file.
mkdir -p "$tmp/release/system" "$tmp/release/data" "$tmp/server" "$tmp/game"
cp "$bin/tests/startup/fake_t2.exe" "$tmp/release/system/t2.exe"
head -c 2000000 /dev/urandom >"$tmp/release/data/textures.pak"
wine_run "$publish" "$(winepath -w "$tmp/release" 2>/dev/null || echo "$tmp/release")" \
  "$(winepath -w "$tmp/server" 2>/dev/null || echo "$tmp/server")" >/dev/null 2>&1 ||
  fail "tarvos-publish could not prepare the release"
[ -f "$tmp/server/updater.lst.ta2" ] || fail "no packed list on the server"
read -r port _ < <(bash "$src/scripts/local-nginx" start "$tmp/nginx" "$tmp/server")

# The launcher with the test package.
instance="Tarvos Wine Test"
cp -r "$bin/skins/default" "$tmp/skin"
sed -i "s/^instance=.*/instance=$instance/; s/^useproxy=.*/useproxy=false/; /^url=/d; /^useping=/d" "$tmp/skin/config.txt"
sed -i "s|^\[updateservers\]|[updateservers]\r\nuseping=false\r\nurl=http://127.0.0.1:$port/|" "$tmp/skin/config.txt"
wine_run "$pack" build "$tmp/skin" -o "$tmp/package.bin" >/dev/null
cp "$bin/src/startup/tarvos.exe" "$tmp/game/tarvos.exe"
wine_run "$pack" inject "$tmp/package.bin" "$tmp/game/tarvos.exe" >/dev/null

shot() { import -window root "$shots/$1.png"; }
window_of() {
  local id=""
  for _ in $(seq 150); do
    id=$(xdotool search --onlyvisible --name "^$instance\$" 2>/dev/null | head -1) || true
    [ -n "$id" ] && break
    sleep 0.2
  done
  echo "$id"
}
# Clicks at x,y of the window's client area.
click() {
  local wx wy
  eval "$(xdotool getwindowgeometry --shell "$win")"
  wx=$X wy=$Y
  xdotool mousemove $((wx + $1)) $((wy + $2)) sleep 0.3 click 1
}

cd "$tmp/game"
wine_run "$tmp/game/tarvos.exe" >/dev/null 2>&1 &
pids+=($!)
main=$!
win=$(window_of)
[ -n "$win" ] || { shot no-window; fail "no window titled \"$instance\""; }
sleep 1
shot 1-waiting
eval "$(xdotool getwindowgeometry --shell "$win")"
size="${WIDTH}x${HEIGHT}"
want=$(identify -format '%wx%h' "$tmp/skin/main/background.bmp" 2>/dev/null || echo "$size")
[ "$size" = "$want" ] || fail "window is $size, the skin's background $want"

# The update runs: the client arrives in the game folder.
for _ in $(seq 300); do [ -f "$tmp/game/system/t2.exe" ] && cmp -s "$tmp/game/system/t2.exe" "$tmp/release/system/t2.exe" && break; sleep 0.2; done
cmp -s "$tmp/game/system/t2.exe" "$tmp/release/system/t2.exe" || { shot updating; fail "the update did not bring the client"; }
cmp -s "$tmp/game/data/textures.pak" "$tmp/release/data/textures.pak" || sleep 3
sleep 2
shot 2-ready

# A second copy brings the first forward and ends with 0.
xdotool windowminimize "$win" 2>/dev/null || true
timeout 60 "$src/scripts/wine-run" "$tmp/game/tarvos.exe" >/dev/null 2>&1 || fail "the second copy did not end with 0"
sleep 1
[ -n "$(xdotool search --onlyvisible --name "^$instance\$" 2>/dev/null)" ] || fail "the first copy was not brought forward"

# The settings window opens over the main window.
skinval() { sed -n "/^\[main $1\]/,/^\[/p" "$tmp/skin/skin.ini" | sed -n "s/^$2 *= *//p" | tr -d '\r' | head -1; }
click $(($(skinval Button_Config Left) + 8)) $(($(skinval Button_Config Top) + 8))
sleep 2
shot 3-settings
xdotool key Return
sleep 1

# The start button starts the client in its folder; the launcher then closes.
click $(($(skinval Button_StartGame Left) + 20)) $(($(skinval Button_StartGame Top) + 15))
for _ in $(seq 100); do [ -f "$tmp/game/system/t2-started.txt" ] && break; sleep 0.2; done
[ -f "$tmp/game/system/t2-started.txt" ] || { shot no-start; fail "the start button did not start the client"; }
tr -d '\r' <"$tmp/game/system/t2-started.txt" | sed 's/^/  t2: /'
tail -1 "$tmp/game/system/t2-started.txt" | tr -d '\r' | grep -qi 'system$' || fail "the client's working folder is not its own"
for _ in $(seq 100); do kill -0 "$main" 2>/dev/null || break; sleep 0.2; done
[ -f "$tmp/game/updater/TarvosII.ini" ] || fail "closing did not write TarvosII.ini"
echo "PASS"
