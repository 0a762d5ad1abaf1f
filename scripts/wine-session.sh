#!/usr/bin/env bash
# Makes sure an X server, a prepared Wine prefix and a persistent wineserver
# are up for the prefix and display in wine-env.sh. Idempotent and cheap when
# everything already runs; concurrent callers serialise on a lock file.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9

if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  setsid Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 </dev/null 9>&- &
  for _ in $(seq 100); do
    xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 || { echo "wine-session: Xvfb did not start on $DISPLAY" >&2; exit 1; }
fi

if [[ ! -f "$WINEPREFIX/.velmo-ready" ]]; then
  echo "wine-session: preparing Wine prefix $WINEPREFIX" >&2
  wineboot -i >/dev/null 2>&1 </dev/null 9>&-
  # Without a window manager Wine must manage focus itself, or keys are lost and
  # every top-level DestroyWindow stalls.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 9>&-
  # An unhandled crash must end the process at once instead of opening winedbg.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false.exe /f >/dev/null 2>&1 9>&-
  wine winecfg /v win10 >/dev/null 2>&1 9>&-
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/*.ttf /usr/share/fonts/truetype/liberation/*.ttf; do
    [[ -f "$f" ]] && cp -n "$f" "$fonts/"
  done
  wineserver -w 9>&-
  touch "$WINEPREFIX/.velmo-ready"
fi

# A persistent wineserver plus one booted session makes every later start fast.
# Starting it again while one runs for this prefix fails harmlessly. It comes
# up before the registry steps below, so they talk to it instead of leaving a
# transient server behind that is still shutting down when the tests start.
started_server=false
if wineserver -p 2>/dev/null 9>&-; then
  started_server=true
fi

# Menus draw in Tahoma, which has no CJK glyphs: linking it to the CJK family
# lets the tray menu's Chinese texts show. Its own marker, so that prefixes
# prepared before get it too.
if [[ ! -f "$WINEPREFIX/.velmo-cjk-font-link" ]]; then
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
    /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK SC' /f >/dev/null 2>&1 9>&-
  touch "$WINEPREFIX/.velmo-cjk-font-link"
fi

# The overlay draws with "Microsoft YaHei UI", which only exists on Windows:
# map it to the installed CJK family so names and the muted marker render.
# Its own marker lets prefixes prepared before this step get it too.
if [[ ! -f "$WINEPREFIX/.velmo-cjk-font" ]]; then
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'Microsoft YaHei UI' /d 'Noto Sans CJK SC' /f >/dev/null 2>&1 9>&-
  touch "$WINEPREFIX/.velmo-cjk-font"
fi

if [[ $started_server == true ]]; then
  setsid wineboot </dev/null >/dev/null 2>&1 9>&- &
fi
