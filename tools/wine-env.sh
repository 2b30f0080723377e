# Sourced by the test and demo scripts: a private Wine prefix for this run,
# with one persistent wineserver (every new server would process the
# restart-rename list of the prefix) and the relay trace limited to the two
# calls the tests observe.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="${SFX_WINE_PREFIX:-$(mktemp -d /tmp/sfx-wine.XXXXXX)}/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
"$WINESERVER" -p
"$WINE" wineboot -i >/dev/null 2>&1
"$WINE" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
  /d 'user32.MessageBoxA;shell32.ShellExecuteA' /f >/dev/null 2>&1
wine_stop() {
  "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$(dirname "$WINEPREFIX")"
}
