# Sourced by the scripts: the project's own Wine environment for one build
# folder. Never touches the user's ~/.wine or home. The kind of prefix:
#   win32  32-bit Windows, for the i686 build (its default);
#   wow64  64-bit Windows, where the i686 build runs under WoW64;
#   x64    64-bit Windows, for the x86_64 build (its default), started with
#          Wine's 64-bit loader: Debian's `wine` picks the 32-bit one whenever
#          it is installed, and some machines cannot run it at all.
# Each lives in the build folder. VARNEL_WINE is the loader to start the
# build's programs with, VARNEL_WINE_TOOLS the one for Wine's own tools
# (wineboot, reg, cmd): 64-bit wherever the prefix is, since a 32-bit tool
# may run only under emulation there. VARNEL_ARCH is the build's
# architecture (from its configure step).
# usage: . scripts/env.sh [build-folder] [win32|wow64|x64]
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(mkdir -p "${1:-${VARNEL_BUILD:-$top/build}}" && cd "${1:-${VARNEL_BUILD:-$top/build}}" && pwd)
VARNEL_ARCH=i686
[ -f "$build/varnel-arch" ] && VARNEL_ARCH=$(cat "$build/varnel-arch")
export VARNEL_TOP="$top" VARNEL_BUILD="$build" VARNEL_ARCH
kind=${2:-}
[ -n "$kind" ] || { [ "$VARNEL_ARCH" = x86_64 ] && kind=x64 || kind=win32; }
case "$kind" in
  win32) export VARNEL_PREFIX_KIND=win32 WINEPREFIX="$build/wineprefix" WINEARCH=win32 VARNEL_WINE=wine VARNEL_WINE_TOOLS=wine ;;
  wow64) export VARNEL_PREFIX_KIND=wow64 WINEPREFIX="$build/wineprefix64" WINEARCH=win64 VARNEL_WINE=wine VARNEL_WINE_TOOLS=/usr/lib/wine/wine64 ;;
  x64) export VARNEL_PREFIX_KIND=x64 WINEPREFIX="$build/wineprefix" WINEARCH=win64 VARNEL_WINE=/usr/lib/wine/wine64 VARNEL_WINE_TOOLS=/usr/lib/wine/wine64 ;;
  *) echo "env.sh: no prefix kind ${kind}" >&2; return 1 ;;
esac
unset kind
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$build/home" TZ=Asia/Shanghai LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8
unset LANGUAGE
