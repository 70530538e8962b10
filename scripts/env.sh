# Sourced by the scripts: the project's own Wine environment for one build
# folder. Never touches the user's ~/.wine or home.
# usage: . scripts/env.sh [build-folder]
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(mkdir -p "${1:-${VARNEL_BUILD:-$top/build}}" && cd "${1:-${VARNEL_BUILD:-$top/build}}" && pwd)
export VARNEL_TOP="$top" VARNEL_BUILD="$build"
export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$build/home" TZ=Asia/Shanghai LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8
unset LANGUAGE
