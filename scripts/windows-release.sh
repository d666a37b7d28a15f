#!/usr/bin/env bash
# The Windows release: Qt 6 for MinGW-w64 built from Debian's qt6-base source
# package into a cache folder (once; about 22 minutes on two idle cores), then
# the window built against it, its DLLs and platform plugin gathered, and an
# installer made. Not part of the per-commit CI.
#   scripts/windows-release.sh qt        only the Qt build (start it early)
#   scripts/windows-release.sh           Qt when missing, then the release
#                                        (build-win-release/quorvel-setup.exe)
#   scripts/windows-release.sh installer only the installer, from the files
#                                        staged by an earlier release
# The cache is $QUORVEL_CACHE (default ~/.cache/quorvel); the machine's apt
# sources stay as they are: the source package comes through a private
# sources list given to apt as options.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cache="${QUORVEL_CACHE:-$HOME/.cache/quorvel}"
qt_version=6.4.2
qt_prefix="$cache/qt-$qt_version-mingw"
mkdir -p "$cache"

install_tools() {
  bash scripts/install-packages.sh g++-mingw-w64-x86-64-posix wine wine64 qt6-base-dev qt6-base-dev-tools dpkg-dev nsis \
    ninja-build cmake librsvg2-bin icoutils
}

# Debian's own source of qt6-base, through a sources list of our own: the
# machine's deb lines with deb-src in their place.
fetch_qt_source() {
  local apt_dir="$cache/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
  local list="$apt_dir/sources.list"
  : >"$list"
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f" >>"$list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" >"$apt_dir/$(basename "$f")"
  done
  local options=(-o "Dir::Etc::SourceList=$list" -o "Dir::Etc::SourceParts=$apt_dir"
                 -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives")
  apt-get "${options[@]}" update
  rm -rf "$cache/qt-source"
  mkdir -p "$cache/qt-source"
  (cd "$cache/qt-source" && apt-get "${options[@]}" source --download-only qt6-base &&
     dpkg-source --no-check -x qt6-base_*.dsc src >/dev/null)
}

build_qt() {
  [ -f "$qt_prefix/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ] && return
  [ -d "$cache/qt-source/src" ] || fetch_qt_source
  # Only what a widget program needs: no OpenGL, D-Bus, network, SQL, Vulkan,
  # ICU, FreeType, Direct2D or DirectWrite (with Direct2D off, DirectWrite must
  # be off too: the print engine would link to a font engine not built); no
  # tablet events (the source lacks wintab).
  nice -n 19 cmake -S "$cache/qt-source/src" -B "$cache/qt-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_dbus=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_freetype=OFF \
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite=OFF -DFEATURE_directwrite3=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_testlib=OFF
  nice -n 19 cmake --build "$cache/qt-build" -- -j2
  cmake --install "$cache/qt-build"
}

# The window against that Qt, with what it needs beside it: Qt's DLLs, the
# Windows platform plugin and style, the MinGW runtime, the shipped Quorvel.conf.
build_window() {
  cmake -S . -B "$release/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_FIND_ROOT_PATH="$qt_prefix" \
    -DQt6_DIR="$qt_prefix/lib/cmake/Qt6" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DQUORVEL_TESTS=OFF >/dev/null
  cmake --build "$release/build" --target quorvel quorvel-cli -- -j2
  # The window is a GUI program: started from the Start menu it opens no console.
  [[ $(x86_64-w64-mingw32-objdump -p "$release/build/bin/quorvel.exe") == *"(Windows GUI)"* ]] || {
    echo "windows-release: quorvel.exe is not linked as a GUI program" >&2
    return 1
  }
  local stage="$release/stage"
  rm -rf "$stage"
  mkdir -p "$stage/platforms" "$stage/styles"
  cp "$release/build/bin/quorvel.exe" "$release/build/cli/quorvel-cli.exe" module/Quorvel.conf "$stage/"
  cp "$qt_prefix"/bin/Qt6{Core,Gui,Widgets,PrintSupport}.dll "$stage/"
  cp "$qt_prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
  cp "$qt_prefix"/plugins/styles/*.dll "$stage/styles/" 2>/dev/null || rmdir "$stage/styles"
  local runtime
  for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$runtime")" "$stage/"
  done
}

# The lists of the installer's files (NSIS lines): one installs every file of
# the stage, the other deletes exactly those and then their folders, deepest
# first, each only when empty; so the uninstaller never removes a file it did
# not write.
write_file_lists() {
  local stage=$1 installed=$2 removed=$3 file dir last=-
  : >"$installed"
  : >"$removed"
  while IFS= read -r file; do
    case "$file" in *[\"\$]*) echo "windows-release: $file: a name NSIS cannot take" >&2; return 1 ;; esac
    dir=$(dirname "$file")
    [ "$dir" = "$last" ] || printf 'SetOutPath "$INSTDIR%s"\n' "$(nsis_path "$dir")" >>"$installed"
    last=$dir
    printf 'File "%s/%s"\n' "$stage" "$file" >>"$installed"
    printf 'Delete "$INSTDIR%s"\n' "$(nsis_path "$file")" >>"$removed"
  done < <(cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort)
  while IFS= read -r dir; do
    printf 'RMDir "$INSTDIR%s"\n' "$(nsis_path "$dir")" >>"$removed"
  done < <(cd "$stage" && find . -mindepth 1 -type d -printf '%P\n' | LC_ALL=C sort -r)
}
# "\sub\file" for sub/file (NSIS takes backslashes as they are); empty for the stage itself.
nsis_path() { [ "$1" = . ] || printf '\\%s' "${1//\//\\}"; }

# The NSIS installer for 64-bit Windows (its 32-bit stub installs nothing
# under a 64-bit Wine), described by packaging/windows/quorvel.nsi.
make_installer() {
  local stage="$release/stage" version
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$release/build/CMakeCache.txt")
  write_file_lists "$stage" "$release/installed.nsh" "$release/removed.nsh"
  sed 's/$/\r/' packaging/copyright >"$release/licence.txt"
  local parts
  IFS=. read -ra parts <<<"$version.0.0.0"
  makensis -V2 -DVERSION="$version" -DVERSION4="${parts[0]}.${parts[1]}.${parts[2]}.${parts[3]}" \
    -DSTAGE="$stage" -DOUTFILE="$release/quorvel-setup.exe" -DICON="$release/build/quorvel.ico" \
    -DLICENSE="$release/licence.txt" -DSIZE_KB="$(du -sk "$stage" | cut -f1)" \
    -DINSTALLED="$release/installed.nsh" -DREMOVED="$release/removed.nsh" packaging/windows/quorvel.nsi
}

release="${QUORVEL_WIN_RELEASE_DIR:-build-win-release}"
mkdir -p "$release"
release=$(cd "$release" && pwd)
start=$SECONDS
install_tools
if [ "${1:-}" = installer ]; then
  make_installer
  echo "== windows-release: $release/quorvel-setup.exe after $((SECONDS - start)) s"
  exit 0
fi
build_qt
echo "== windows-release: Qt ready in $qt_prefix after $((SECONDS - start)) s"
[ "${1:-}" = qt ] && exit 0
build_window
make_installer
echo "== windows-release: $release/quorvel-setup.exe after $((SECONDS - start)) s"
