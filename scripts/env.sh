# Sourced by the scripts: the project's own Wine environment for one build
# folder. Never touches the user's ~/.wine or home. The prefix is 32-bit
# Windows (win32) or 64-bit Windows, where our 32-bit programs run under
# WoW64 (wow64); both live in the build folder.
# usage: . scripts/env.sh [build-folder] [win32|wow64]
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(mkdir -p "${1:-${VARNEL_BUILD:-$top/build}}" && cd "${1:-${VARNEL_BUILD:-$top/build}}" && pwd)
export VARNEL_TOP="$top" VARNEL_BUILD="$build"
case "${2:-win32}" in
  win32) export VARNEL_PREFIX_KIND=win32 WINEPREFIX="$build/wineprefix" WINEARCH=win32 ;;
  wow64) export VARNEL_PREFIX_KIND=wow64 WINEPREFIX="$build/wineprefix64" WINEARCH=win64 ;;
  *) echo "env.sh: no prefix kind ${2}" >&2; return 1 ;;
esac
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$build/home" TZ=Asia/Shanghai LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8
unset LANGUAGE
