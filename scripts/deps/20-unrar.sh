#!/usr/bin/env bash
# unrar.dll for Windows, built from Debian's unrar-nonfree source package. The eleven
# library functions are exported by their plain names (--kill-at with the package's
# dll.def), and the runtime is linked in statically so the DLL has no dependency beyond
# the system's own libraries: the launcher maps it from memory, where nothing else of
# MinGW could be found.
set -euo pipefail
[ -f "$PREFIX/bin/unrar.dll" ] && [ -f "$PREFIX/include/unrar/dll.hpp" ] && exit 0
src=$(fetch_source unrar-nonfree)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cxx="$HOST-g++-posix"
sysinc=/usr/$HOST/include

# The sources include some system headers with letter cases that only exist on Windows'
# case-insensitive file systems (PowrProf.h, Wbemidl.h): forward each to MinGW's name.
mkdir -p "$work/shim"
grep -ho '#include <[A-Za-z0-9_]*\.h>' "$src"/*.cpp "$src"/*.hpp | sort -u |
  sed 's/#include <\(.*\)>/\1/' | while read -r h; do
    [ -e "$sysinc/$h" ] && continue
    lower=$(echo "$h" | tr 'A-Z' 'a-z')
    if [ -e "$sysinc/$lower" ]; then echo "#include <$lower>" > "$work/shim/$h"; fi
  done

# MinGW's comutil.h declares _com_util::ConvertStringToBSTR (used by _bstr_t) but its
# runtime does not define it.
cat > "$work/comutil_mend.cpp" <<'CPP'
#include <windows.h>
#include <comutil.h>
namespace _com_util {
BSTR WINAPI ConvertStringToBSTR(const char* s) {
  if (!s) return nullptr;
  int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  if (n <= 0) return nullptr;
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n - 1));
  if (b) MultiByteToWideChar(CP_ACP, 0, s, -1, b, n);
  return b;
}
}
CPP

objs=(archive arcread blake2s cmddata consio crc crypt dll encname errhnd extinfo extract
  filcreat file filefn filestr find getbits global hash headers isnt match options pathfn
  qopen rar rarvm rawread rdwrfn rijndael rs rs16 scantree secpassword sha1 sha256 smallfn
  strfn strlist system threadpool timefn ui unicode unpack volume)
flags=(-O2 -DRARDLL -DUNRAR -DSILENT -I"$work/shim" -Wno-attributes -w)
pids=()
for o in "${objs[@]}"; do
  "$cxx" "${flags[@]}" -c "$src/$o.cpp" -o "$work/$o.o" &
  pids+=($!)
  if [ "${#pids[@]}" -ge 2 ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
done
for p in "${pids[@]}"; do wait "$p"; done
"$cxx" -O2 -c "$work/comutil_mend.cpp" -o "$work/comutil_mend.o"
"$cxx" -shared -static -static-libgcc -static-libstdc++ -Wl,--kill-at -Wl,--enable-stdcall-fixup -s \
  -o "$work/unrar.dll" "$src/dll.def" "$work"/*.o \
  -lole32 -loleaut32 -lwbemuuid -lshlwapi -lpowrprof -luuid -lshell32 -ladvapi32
mkdir -p "$PREFIX/bin" "$PREFIX/include/unrar"
cp "$work/unrar.dll" "$PREFIX/bin/unrar.dll"
cp "$src/dll.hpp" "$PREFIX/include/unrar/dll.hpp"
echo "unrar.dll for $ARCH built"
