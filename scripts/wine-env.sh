# Sourced by the scripts that run Windows programs under Wine.
# VELMO_WINEPREFIX and VELMO_DISPLAY let several checkouts or test runs on one
# machine keep their own prefix and X server.
velmo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${VELMO_WINEPREFIX:-$velmo_root/build/wine-prefix}
export DISPLAY=${VELMO_DISPLAY:-:99}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
