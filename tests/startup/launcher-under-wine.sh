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
cp "$bin/src/ui/win32/tarvos.exe" "$bin/tools/tarvos-cli/tarvos-cli.exe" .
run_window ./tarvos.exe -DEBUG
check_log tarvos.exe

status=0
wine_run ./tarvos-cli.exe -debug --quiet >/dev/null || status=$?
[ "$status" = 4 ] || fail "tarvos-cli.exe without a server ended with $status"
check_log tarvos-cli.exe
rm -rf updater tarvos.exe tarvos-cli.exe

# tarvos-cli.exe brings a game folder up to date from a signed release on a published
# server (nginx on the loopback), names that URLs must escape included, then finds nothing
# to do; a list whose signature does not match is refused and leaves the folder alone.
native=$src/build/native
if [ -x "$native/tools/tarvos-publish/tarvos-publish" ] && command -v nginx >/dev/null; then
  mkdir -p release/system release/data "release/music/50% off" "release/Grüße" www game
  printf '[Game]\r\nLanguage=1033\r\n' > release/system/t2.ini
  head -c 700000 /dev/urandom > release/data/textures.pak
  echo track > "release/music/50% off/Track #1; a+b.ogg"
  echo grüße > "release/Grüße/Ünïcödé ñame.txt"
  "$native/tools/tarvos-publish/tarvos-publish" keygen list.key >/dev/null
  "$native/tools/tarvos-publish/tarvos-publish" release www/update --sign list.key >/dev/null
  trap 'bash "$src/scripts/local-nginx" stop "$tmp/nginx" >/dev/null 2>&1; rm -rf "$tmp"' EXIT
  read -r port _ < <(bash "$src/scripts/local-nginx" start "$tmp/nginx" "$tmp/www")
  cp -r "$bin/skins/default" served-skin
  sed -i -e "/^url=/d" -e "s#^\[updateservers\]#[updateservers]\nurl=http://127.0.0.1:$port/update/#" \
      -e "s/^useproxy=.*/useproxy=false/" -e "s/^0=.*/0=/" -e "s/^instance=.*/instance=Served Under Wine/" \
      served-skin/config.txt
  sed -i "s#^\[updateservers\]#[updateservers]\npublickey=$(cat list.key.pub)#" served-skin/config.txt
  cp "$bin/tools/tarvos-cli/tarvos-cli.exe" game/
  wine_run "$bin/tools/tarvos-pack/tarvos-pack.exe" build served-skin -o served.bin >/dev/null
  wine_run "$bin/tools/tarvos-pack/tarvos-pack.exe" inject served.bin game/tarvos-cli.exe >/dev/null
  out=$(cd game && "$src/scripts/wine-run" ./tarvos-cli.exe | tr -d '\r') || fail "first served run: $out"
  case "$out" in *"Update complete. Ready to play!"*) ;; *) fail "first served run printed: $out" ;; esac
  diff -r release game/ -x updater -x tarvos-cli.exe >/dev/null || fail "the game folder differs from the release"
  out=$(cd game && "$src/scripts/wine-run" ./tarvos-cli.exe | tr -d '\r') || fail "second served run: $out"
  case "$out" in *"Your game is up to date."*) ;; *) fail "second served run printed: $out" ;; esac
  # Another key's signature: the run ends without a list (status 4), nothing changes.
  "$native/tools/tarvos-publish/tarvos-publish" keygen other.key >/dev/null
  "$native/tools/tarvos-publish/tarvos-publish" release www/update --sign other.key >/dev/null
  echo changed > "game/Grüße/Ünïcödé ñame.txt"
  status=0
  (cd game && "$src/scripts/wine-run" ./tarvos-cli.exe -debug --check-all >/dev/null 2>&1) || status=$?
  [ "$status" = 4 ] || fail "a list signed with another key ended with $status"
  grep -q "File list refused: the signature does not match" game/log.err || fail "no refusal in log.err"
  [ ! -e game/updater.lst ] || fail "a refused list was left behind"
  [ "$(cat "game/Grüße/Ünïcödé ñame.txt")" = changed ] || fail "a refused list changed the game folder"
else
  echo "note: no native tarvos-publish or nginx; the served update under Wine was skipped"
fi

# A package of a second skin, injected by the Windows tool into a copy of the launcher.
cp "$bin/src/ui/win32/tarvos.exe" copy.exe
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
