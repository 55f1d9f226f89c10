#!/usr/bin/env bash
# Starts or stops the Wine session the tests run in: an Xvfb display, a
# persistent wineserver and one wineboot, all detached from our standard
# streams. Wine's background services inherit the pipes of the process that
# starts them, and inside a ctest pipe they would keep ctest waiting forever.
#   wine-session.sh start|stop STATE_DIR
set -euo pipefail
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_dir=/usr/lib/wine

running() {
  [ -f "$state/ready" ] && kill -0 "$(cat "$state/xvfb.pid" 2>/dev/null)" 2>/dev/null \
    && kill -0 "$(cat "$state/wineserver.pid" 2>/dev/null)" 2>/dev/null
}

stop() {
  "$wine_dir/wineserver64" -k 2>/dev/null || true
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
  fi
  rm -f "$state/ready" "$state/xvfb.pid" "$state/wineserver.pid" "$state/display"
}

start() {
  running && return 0
  stop
  # A prefix made before Wine's 32-bit loader was installed cannot run
  # 32-bit programs: it is made anew.
  if [ -x "$wine_dir/wine" ] && [ -d "$state/prefix" ] &&
     [ ! -d "$state/prefix/drive_c/windows/syswow64" ]; then
    rm -rf "$state/prefix"
  fi
  : > "$state/display"
  # 9>&-: the daemons must not inherit the session lock, or it is never released.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$state/display" </dev/null >/dev/null 2>&1 9>&- &
  echo $! > "$state/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$state/display" ] && break
    sleep 0.1
  done
  [ -s "$state/display" ] || { echo "wine-session: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n 1 "$state/display")"
  # -f: stay in the foreground, so that the recorded pid is the server's.
  setsid "$wine_dir/wineserver64" -f -p </dev/null >/dev/null 2>&1 9>&- &
  echo $! > "$state/wineserver.pid"
  setsid "$wine_dir/wine64" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  touch "$state/ready"
}

case "$action" in
  start)
    exec 9>"$state/lock"
    flock 9
    start
    ;;
  stop)
    exec 9>"$state/lock"
    flock 9
    stop
    ;;
  *)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
