#!/bin/sh
# Starts Wine's server for the Windows cases and makes its prefix, or ends
# it once they have run:
#   wine_server.sh start|stop   (WINEPREFIX set)
# The server stays up between the cases: one that ends with a case's last
# program resets the next case's program if that one starts at that
# moment. Neither the server nor the programs that the prefix keeps
# running hold this script's output open, which ctest would wait for.
set -eu
case $1 in
start)
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  # The first start makes the prefix and says so on standard error.
  s=0
  wineboot --init </dev/null >"$WINEPREFIX/wineboot.log" 2>&1 || s=$?
  cat "$WINEPREFIX/wineboot.log"
  exit $s
  ;;
stop) wineserver -k || true ;;
esac
