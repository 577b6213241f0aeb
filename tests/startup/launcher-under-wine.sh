#!/usr/bin/env bash
# The built Windows launchers under Wine: each starts with -debug, loads the default package
# it carries from its "blank" resource, and writes log.err and config.pack in the working
# folder; tarvos-pack.exe finds the slot through the PE resource directory and replaces the
# package in place. Usage: launcher-under-wine.sh SOURCE_DIR BINARY_DIR
set -euo pipefail
src=$1 bin=$2
# Inside the build tree, so that the Wine runner finds its prefix for the copies too.
tmp=$(mktemp -d "$bin/launcher-e2e.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*"; exit 1; }
wine_run() { "$src/scripts/wine-run" "$@" | tr -d '\r'; }

# The log the start-up sequence must leave: three lines, the size that of config.pack.
check_log() {
  [ -f log.err ] || fail "$1: no log.err"
  local size; size=$(stat -c %s config.pack)
  printf 'config created\r\n  try load config\r\n  read config from memory.. config size: %s\r\n' "$size" >want.log
  cmp -s log.err want.log || { cat -A log.err; fail "$1: log.err differs"; }
  [ "$size" -gt 1000 ] || fail "$1: config.pack holds only $size bytes"
  rm -f log.err config.pack want.log
}

# The windowed launcher runs until it is closed: it is ended once start-up has logged.
run_window() {
  "$src/scripts/wine-run" "$@" >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 150); do [ "$(grep -c . log.err 2>/dev/null || echo 0)" -ge 3 ] && break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
run_window "$bin/src/startup/tarvos.exe" -DEBUG
check_log tarvos.exe

out=$(wine_run "$bin/tools/tarvos-cli/tarvos-cli.exe" -debug)
[ "$out" = "Tarvos Demo Launcher: main window 720x480, 2 update servers, 2 game proxies, 2 languages" ] ||
  fail "tarvos-cli.exe printed: $out"
check_log tarvos-cli.exe

# A package of a second skin, injected by the Windows tool into a copy of the launcher.
cp "$bin/src/startup/tarvos.exe" copy.exe
cp -r "$bin/skins/default" skin
sed -i 's/^instance=.*/instance=Injected Under Wine/' skin/config.txt
wine_run "$bin/tools/tarvos-pack/tarvos-pack.exe" build skin -o package.bin >/dev/null
wine_run "$bin/tools/tarvos-pack/tarvos-pack.exe" inject package.bin copy.exe >/dev/null
wine_run "$bin/tools/tarvos-pack/tarvos-pack.exe" dump copy.exe | grep -q 'instance: "Injected Under Wine"' ||
  fail "dump does not show the injected package"
run_window copy.exe -debug
check_log copy.exe

# A program without the slot is refused, and left as it was.
cp "$bin/tools/tarvos-pack/tarvos-pack.exe" noslot.exe
cp noslot.exe noslot.orig
msg=$(wine_run "$bin/tools/tarvos-pack/tarvos-pack.exe" inject package.bin noslot.exe 2>&1 || true)
case "$msg" in *"no configuration slot"*) ;; *) fail "inject into a program without the slot: $msg" ;; esac
cmp -s noslot.exe noslot.orig || fail "a refused inject changed the file"
echo "PASS"
