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
  # A Windows program that Wine detached from its starter is found by its folder, which is
  # this run's own; left alive it would keep the shared Wine prefix (and ctest) waiting.
  pkill -f "$(basename "$tmp")" 2>/dev/null || true
  bash "$src/scripts/local-nginx" stop "$tmp/nginx" >/dev/null 2>&1 || true
  [ -n "${KEEP:-}" ] || rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
[ -n "${DISPLAY:-}" ] || fail "no X display (run under xvfb-run)"
wine_run() { "$src/scripts/wine-run" "$@"; }
pack=$bin/tools/tarvos-pack/tarvos-pack.exe
# The operator's publishing tool runs on the build machine (it drives the native rar).
publish=${TARVOS_HOST_PUBLISH:-$src/build/native/tools/tarvos-publish/tarvos-publish}
[ -x "$publish" ] || fail "no native tarvos-publish at $publish (build the native tree first)"

# The release on the server: the client stand-in and a data file.
mkdir -p "$tmp/release/system" "$tmp/release/data" "$tmp/server" "$tmp/game"
cp "$bin/tests/startup/fake_t2.exe" "$tmp/release/system/t2.exe"
head -c 8000000 /dev/urandom >"$tmp/release/data/textures.pak"
"$publish" "$tmp/release" "$tmp/server" >/dev/null || fail "tarvos-publish could not prepare the release"
[ -f "$tmp/server/updater.lst.ta2" ] || fail "no packed list on the server"
# Each connection capped, so that the update lasts long enough to be seen.
read -r fast port < <(bash "$src/scripts/local-nginx" start "$tmp/nginx" "$tmp/server" 200k)

# The launcher with the test package.
instance="Tarvos Wine Test"
cp -r "$bin/skins/default" "$tmp/skin"
# launcher NAME INSTANCE PORT [CAPTION]: a copy of the launcher with a test package.
launcher() {
  rm -rf "$tmp/pkg"
  cp -r "$bin/skins/default" "$tmp/pkg"
  sed -i "s/^instance=.*/instance=$2/; s/^useproxy=.*/useproxy=false/; /^url=/d; /^useping=/d" "$tmp/pkg/config.txt"
  [ -z "${4:-}" ] || sed -i "s/^caption=.*/caption=$4/" "$tmp/pkg/config.txt"
  sed -i "s|^\[updateservers\]|[updateservers]\r\nuseping=false\r\nurl=http://127.0.0.1:$3/|" "$tmp/pkg/config.txt"
  wine_run "$pack" build "$tmp/pkg" -o "$tmp/package.bin" >/dev/null
  cp "$bin/src/ui/win32/tarvos.exe" "$1"
  wine_run "$pack" inject "$tmp/package.bin" "$1" >/dev/null
}
launcher "$tmp/game/tarvos.exe" "$instance" "$port"

# The whole screen for the checks; the launcher's window alone for the pictures kept.
shot() {
  import -window root "$tmp/full-$1.png"
  local geometry
  geometry=$(xdotool getwindowgeometry --shell "${win:-0}" 2>/dev/null) || geometry=""
  if [ -n "$geometry" ]; then
    eval "$geometry"
    convert "$tmp/full-$1.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$shots/$1.png"
  else
    cp "$tmp/full-$1.png" "$shots/$1.png"
  fi
}
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
sleep 0.5
shot 1-waiting
eval "$(xdotool getwindowgeometry --shell "$win")"
size="${WIDTH}x${HEIGHT}" wx=$X wy=$Y
want=$(identify -format '%wx%h' "$tmp/skin/main/background.bmp")
[ "$size" = "$want" ] || fail "window is $size, the skin's background $want"
skinval() { sed -n "/^\[$1 $2\]/,/^\[/p" "$tmp/skin/skin.ini" | sed -n "s/^$3 *= *//p" | tr -d '\r' | head -1; }
# The widget's rectangle of a screenshot equals the picture (the window's own pixels).
shows() {
  local w h
  w=$(identify -format '%w' "$tmp/skin/$3") h=$(identify -format '%h' "$tmp/skin/$3")
  convert "$tmp/full-$1.png" -crop "${w}x${h}+$((wx + $(skinval main "$2" Left)))+$((wy + $(skinval main "$2" Top)))" +repage "$tmp/crop.png"
  [ "$(compare -metric AE "$tmp/crop.png" "$tmp/skin/$3" null: 2>&1)" = 0 ]
}
# A point near the end of a progress display has changed since the waiting state.
filled() {
  local x y
  x=$((wx + $(skinval main "$2" Left) + $(skinval main "$2" Width) - 20)) y=$((wy + $(skinval main "$2" Top) + $(skinval main "$2" Height) / 2))
  [ "$(convert "$tmp/full-$1.png" -format "%[pixel:p{$x,$y}]" info:)" != \
    "$(convert "$tmp/full-1-waiting.png" -format "%[pixel:p{$x,$y}]" info:)" ]
}
shows 1-waiting Button_StartGame main/start_disabled.bmp || fail "waiting: the start button is not its disabled picture"
shows 1-waiting Button_Close main/close.bmp || fail "waiting: the close button is not its picture"
sleep 3
shot 2-updating
shows 2-updating Button_StartGame main/start_disabled.bmp || fail "updating: the start button is not its disabled picture"

# The update runs: the client arrives in the game folder.
for _ in $(seq 300); do
  cmp -s "$tmp/game/data/textures.pak" "$tmp/release/data/textures.pak" &&
    cmp -s "$tmp/game/system/t2.exe" "$tmp/release/system/t2.exe" && break
  sleep 0.2
done
cmp -s "$tmp/game/system/t2.exe" "$tmp/release/system/t2.exe" || { shot no-update; fail "the update did not bring the client"; }
sleep 2
shot 3-ready
shows 3-ready Button_StartGame main/start.bmp || fail "ready: the start button is not its picture"
filled 3-ready Progress_Total || fail "ready: the total progress is not filled"
filled 3-ready Gauge_Total || fail "ready: the total gauge is not filled"

# The window follows the mouse dragged on its background.
eval "$(xdotool getwindowgeometry --shell "$win")"
x0=$X y0=$Y
xdotool mousemove $((X + 300)) $((Y + 12)) sleep 0.2 mousedown 1 sleep 0.2 mousemove $((X + 330)) $((Y + 32)) \
  sleep 0.2 mousemove $((X + 340)) $((Y + 52)) sleep 0.2 mouseup 1
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$X,$Y" = "$((x0 + 40)),$((y0 + 40))" ] || fail "dragged by 40,40 from $x0,$y0 the window went to $X,$Y"
wx=$X wy=$Y

# Minimised to the tray it leaves the screen; a second copy brings it back and ends with 0.
click $(($(skinval main Button_Minimize Left) + 8)) $(($(skinval main Button_Minimize Top) + 8))
for _ in $(seq 25); do [ -z "$(xdotool search --onlyvisible --name "^$instance\$" 2>/dev/null)" ] && break; sleep 0.2; done
[ -z "$(xdotool search --onlyvisible --name "^$instance\$" 2>/dev/null)" ] || { shot minimised; fail "the minimise button left the window on the screen"; }
timeout 60 "$src/scripts/wine-run" "$tmp/game/tarvos.exe" >/dev/null 2>&1 || fail "the second copy did not end with 0"
sleep 1
[ -n "$(xdotool search --onlyvisible --name "^$instance\$" 2>/dev/null)" ] || fail "the first copy was not brought forward"

# The settings window opens over the main window; picking another language changes its
# labels at once, and OK applies the choice.
click $(($(skinval main Button_Config Left) + 8)) $(($(skinval main Button_Config Top) + 8))
settings=""
for _ in $(seq 50); do
  settings=$(xdotool search --onlyvisible --name '^Settings$' 2>/dev/null | head -1) || true
  [ -n "$settings" ] && break
  sleep 0.2
done
[ -n "$settings" ] || { shot no-settings; fail "the settings window did not open"; }
sleep 1.5
shot 4-settings
sx() { eval "$(xdotool getwindowgeometry --shell "$settings")"; echo $((X + $1)); }
sy() { eval "$(xdotool getwindowgeometry --shell "$settings")"; echo $((Y + $1)); }
labels() { convert "$tmp/full-$1.png" -crop "150x200+$(sx 140)+$(sy 110)" +repage "$tmp/$1-labels.png"; }
xdotool mousemove "$(sx $(($(skinval settings Box_Language Left) + 60)))" "$(sy $(($(skinval settings Box_Language Top) + 8)))" sleep 0.3 click 1
sleep 0.8
# The second item of the open list.
xdotool mousemove "$(sx $(($(skinval settings Box_Language Left) + 40)))" "$(sy $(($(skinval settings Box_Language Top) + 43)))" sleep 0.3 click 1
sleep 1
shot 5-language
labels 4-settings
labels 5-language
[ "$(compare -metric AE "$tmp/4-settings-labels.png" "$tmp/5-language-labels.png" null: 2>&1)" != 0 ] ||
  fail "another language left the settings labels as they were"
xdotool mousemove "$(sx $(($(skinval settings Button_Ok Left) + 20)))" "$(sy $(($(skinval settings Button_Ok Top) + 10)))" sleep 0.3 click 1
for _ in $(seq 25); do xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$settings" || break; sleep 0.2; done
xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$settings" && { shot ok-click; fail "OK did not close the settings window"; }
shot 6-after-settings

# The start button starts the client in its folder.
click $(($(skinval main Button_StartGame Left) + 20)) $(($(skinval main Button_StartGame Top) + 15))
for _ in $(seq 100); do [ -f "$tmp/game/system/t2-started.txt" ] && break; sleep 0.2; done
[ -f "$tmp/game/system/t2-started.txt" ] || { shot no-start; fail "the start button did not start the client"; }
tr -d '\r' <"$tmp/game/system/t2-started.txt" | sed 's/^/  t2: /'
tail -1 "$tmp/game/system/t2-started.txt" | tr -d '\r' | grep -qi 'system$' || fail "the client's working folder is not its own"
# Closing saves the settings and ends the launcher.
click $(($(skinval main Button_Close Left) + 8)) $(($(skinval main Button_Close Top) + 8))
for _ in $(seq 100); do kill -0 "$main" 2>/dev/null || break; sleep 0.2; done
kill -0 "$main" 2>/dev/null && fail "the close button did not end the launcher"
[ -f "$tmp/game/updater/TarvosII.ini" ] || fail "closing did not write TarvosII.ini"
tr -d '\r' <"$tmp/game/updater/TarvosII.ini" | grep -q '^Language = ' && ! grep -q '^Language = English' "$tmp/game/updater/TarvosII.ini" || { cat "$tmp/game/updater/TarvosII.ini"; fail "the language picked in the settings window was not kept"; }

# The launcher updates itself first: the server's newer launcher replaces the running one,
# which starts it and ends; the old one is kept as ".bak" until the new one removes it. Both
# carry the same instance name, so the new copy must not take the dying one for a running
# copy and end: once the old one has gone, the new one's window stays on the screen. (The newer
# launcher differs from the old one by its caption only.)
mkdir -p "$tmp/self"
launcher "$tmp/self/tarvos.exe" "$instance" "$fast"
launcher "$tmp/release/tarvos.exe" "$instance" "$fast" "Updated launcher"
printf '\\tarvos.exe\n' >"$tmp/required.txt"
"$publish" "$tmp/release" "$tmp/server" --required "$tmp/required.txt" >/dev/null || fail "tarvos-publish could not add the launcher"
cd "$tmp/self"
wine_run "$tmp/self/tarvos.exe" >/dev/null 2>&1 &
old=$!
pids+=($old)
for _ in $(seq 300); do
  cmp -s "$tmp/self/tarvos.exe" "$tmp/release/tarvos.exe" && ! kill -0 "$old" 2>/dev/null && break
  sleep 0.2
done
cmp -s "$tmp/self/tarvos.exe" "$tmp/release/tarvos.exe" || { shot no-replace; fail "the launcher was not replaced"; }
kill -0 "$old" 2>/dev/null && fail "the replaced launcher did not end"
new=""
for _ in $(seq 150); do
  new=$(xdotool search --onlyvisible --name "^$instance\$" 2>/dev/null | head -1) || true
  [ -n "$new" ] && break
  sleep 0.2
done
[ -n "$new" ] || { shot no-restart; fail "no launcher runs after the self-update: the new copy ended"; }
sleep 2
[ -n "$(xdotool search --onlyvisible --name "^$instance\$" 2>/dev/null)" ] || fail "the updated launcher ended"
win=$new
shot 7-self-updated
click $(($(skinval main Button_Close Left) + 8)) $(($(skinval main Button_Close Top) + 8))
for _ in $(seq 100); do xdotool search --onlyvisible --name "^$instance\$" >/dev/null 2>&1 || break; sleep 0.2; done

# Presses the message box's default button. The box can be on the screen a moment before
# Wine lets another program find it by its title: asked again for a few seconds.
confirm_box() {
  for _ in $(seq 10); do
    "$src/scripts/wine-run" "$bin/tests/startup/desktop_probe.exe" confirm AutoUpdater && return 0
    sleep 0.3
  done
  return 1
}
# A launcher whose package is damaged says so and ends with 0 once the message is closed.
mkdir -p "$tmp/broken"
cp "$bin/src/ui/win32/tarvos.exe" "$tmp/broken/tarvos.exe"
head -c 3000 /dev/urandom >"$tmp/junk.bin"
wine_run "$pack" inject "$tmp/junk.bin" "$tmp/broken/tarvos.exe" >/dev/null
cd "$tmp/broken"
wine_run "$tmp/broken/tarvos.exe" >/dev/null 2>&1 &
broken=$!
pids+=($broken)
box=""
for _ in $(seq 100); do
  box=$(xdotool search --onlyvisible --name '^AutoUpdater$' 2>/dev/null | head -1) || true
  [ -n "$box" ] && break
  sleep 0.2
done
[ -n "$box" ] || { shot no-message; fail "no message box for a damaged package"; }
win=$box
shot 8-no-config
confirm_box || fail "the message box could not be confirmed"
code=0
wait "$broken" || code=$?
[ "$code" = 0 ] || fail "closing the message ended the launcher with $code"

# Every window of a starting launcher answers: a program walking the desktop's windows at
# any moment of the start-up gets through within a second, with a good package and with
# one whose main window section has a version this launcher does not read.
listed() {
  local out
  # The last line of a failed walk names the window that did not answer.
  out=$(timeout 60 "$src/scripts/wine-run" "$bin/tests/startup/desktop_probe.exe" list 1000 tarvos.exe 2>/dev/null) ||
    fail "$1: $(echo "$out" | grep -v '^passed over' | tail -1)"
}
# walk_startup FOLDER WHAT SECONDS CLOSE...: lists the windows for the first SECONDS of the
# launcher in FOLDER, then ends it with the command CLOSE.
walk_startup() {
  local dir=$1 what=$2 secs=$3 p end
  shift 3
  cd "$dir"
  wine_run "$dir/tarvos.exe" >/dev/null 2>&1 &
  p=$!
  pids+=($p)
  end=$((SECONDS + secs))
  while [ $SECONDS -lt $end ]; do listed "$what"; sleep 0.2; done
  "$@" || true
  for _ in $(seq 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$p" 2>/dev/null && fail "$what: the launcher did not end"
  return 0
}
mkdir -p "$tmp/live-good" "$tmp/live-bad"
launcher "$tmp/live-good/tarvos.exe" "$instance Live" "$port"
walk_startup "$tmp/live-good" "starting with a good package" 10 \
  "$src/scripts/wine-run" "$bin/tests/startup/desktop_probe.exe" close "$instance Live"
cp "$bin/src/ui/win32/tarvos.exe" "$tmp/live-bad/tarvos.exe"
# The main window section's version is the package's first four bytes (12345 = 0x3039).
printf '\x39\x30\x00\x00' | dd of="$tmp/package.bin" bs=1 conv=notrunc status=none
wine_run "$pack" inject "$tmp/package.bin" "$tmp/live-bad/tarvos.exe" >/dev/null
walk_startup "$tmp/live-bad" "starting with a main section of version 12345" 10 confirm_box

# A server that accepts and never answers, and one that sends its headers and then nothing:
# the run waits out the real stall limit on them, and every window answers meanwhile; closing
# then ends the launcher at once.
silent_server() {  # MODE PORT_FILE
  python3 - "$1" "$2" <<'PY' &
import os, socket, sys
mode, port_file = sys.argv[1], sys.argv[2]
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(16)
with open(port_file + ".part", "w") as f:
    f.write(str(s.getsockname()[1]))
os.replace(port_file + ".part", port_file)
held = []
while True:
    c, _ = s.accept()
    held.append(c)
    open(port_file + ".seen", "w").close()
    if mode == "hang":
        c.recv(65536)
        c.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n")
PY
  pids+=($!)
  for _ in $(seq 100); do [ -s "$2" ] && return; sleep 0.05; done
  fail "the $1 server did not start"
}
for mode in mute hang; do
  silent_server "$mode" "$tmp/$mode.port"
  mkdir -p "$tmp/$mode"
  launcher "$tmp/$mode/tarvos.exe" "$instance Silent" "$(cat "$tmp/$mode.port")"
  walk_startup "$tmp/$mode" "waiting on a server that is $mode" 25 \
    "$src/scripts/wine-run" "$bin/tests/startup/desktop_probe.exe" close "$instance Silent"
  [ -f "$tmp/$mode.port.seen" ] || fail "the launcher never asked the $mode server"
done
echo "PASS"
