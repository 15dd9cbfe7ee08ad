# Sourced by the Windows scripts: sets up, cross-builds build-win with mingw-w64 (no Qt:
# Debian has none for mingw; the window is Win32's own) and makes wine's prefix once,
# outside any time limit. `start_display` gives the wine programs an X display: an Xvfb of
# their own on a free display number that the server picks and reports, with a window
# manager as a desktop has (without one, wine waits for focus changes no one makes); both
# end with the script.
bash scripts/setup
export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cmake -S . -B build-win -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DTQ9_BUILD_GUI=OFF -DTQ9_GTEST_FROM_SOURCE=ON
cmake --build build-win
[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true

display_pids=()
start_display() {
  local displayfd
  displayfd=$(mktemp)
  trap 'kill "${display_pids[@]}" 2>/dev/null || true' EXIT
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfd" >/dev/null 2>&1 &
  display_pids+=($!)
  for _ in $(seq 100); do
    [ -s "$displayfd" ] && break
    sleep 0.1
  done
  [ -s "$displayfd" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$displayfd")"
  rm -f "$displayfd"
  openbox >/dev/null 2>&1 &
  display_pids+=($!)
}
