# Sourced by the test and demo scripts (from the project root): a private
# Wine prefix for this run, with one persistent wineserver (every new server
# would process the restart-rename list of the prefix) and the relay trace
# limited to the calls the tests observe.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="${SFX_WINE_PREFIX:-$(mktemp -d /tmp/sfx-wine.XXXXXX)}/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
"$WINESERVER" -p
"$WINE" wineboot -i >/dev/null 2>&1
"$WINE" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
  /d 'user32.MessageBoxA;shell32.ShellExecuteA;kernel32.MoveFileExA' /f >/dev/null 2>&1
# The i686 stub under 32-bit Wine, where tools/install-wine32.sh could make
# one: a prefix of its own, made before its persistent server starts (a
# server started first makes a 64-bit prefix).
WINE32="$(pwd)/build/wine32/usr/lib/wine/wine"
if [ -x "$WINE32" ]; then
  export SFX_WINE32="$WINE32"
  export SFX_WINE32_PREFIX="$(dirname "$WINEPREFIX")/prefix32"
  WINEARCH=win32 WINEPREFIX="$SFX_WINE32_PREFIX" "$WINE32" wineboot -i >/dev/null 2>&1 </dev/null
  WINEPREFIX="$SFX_WINE32_PREFIX" "$WINESERVER" -w
  WINEPREFIX="$SFX_WINE32_PREFIX" "$WINESERVER" -p
  WINEARCH=win32 WINEPREFIX="$SFX_WINE32_PREFIX" "$WINE32" reg add 'HKCU\Software\Wine\Debug' \
    /v RelayInclude /t REG_SZ /d 'user32.MessageBoxA;shell32.ShellExecuteA;kernel32.MoveFileExA' /f >/dev/null 2>&1
else
  echo "i686 stub: no 32-bit Wine here; its end-to-end tests are skipped"
fi
wine_stop() {
  "$WINESERVER" -k 2>/dev/null || true
  [ -z "${SFX_WINE32_PREFIX:-}" ] || WINEPREFIX="$SFX_WINE32_PREFIX" "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$(dirname "$WINEPREFIX")"
}
