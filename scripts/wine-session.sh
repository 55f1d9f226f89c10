#!/usr/bin/env bash
# Starts or stops the Wine session the tests run in: an Xvfb display, a
# persistent wineserver and one wineboot, all detached from our standard
# streams. Wine's background services inherit the pipes of the process that
# starts them, and inside a ctest pipe they would keep ctest waiting forever.
#   wine-session.sh start|stop STATE_DIR [--two-monitors]
# --two-monitors: Xorg's dummy driver instead of Xvfb, with a second monitor
# left of the primary (two-monitors.conf), so that the virtual screen starts
# at negative x. Where Xorg cannot run, start says why and exits with 77,
# which ctest counts as skipped.
set -euo pipefail
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
two_monitors=false
x_pid="$state/xvfb.pid"
if [ "${3:-}" = --two-monitors ]; then
  two_monitors=true
  x_pid="$state/xorg.pid"
fi
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_dir=/usr/lib/wine

running() {
  [ -f "$state/ready" ] && kill -0 "$(cat "$x_pid" 2>/dev/null)" 2>/dev/null \
    && kill -0 "$(cat "$state/wineserver.pid" 2>/dev/null)" 2>/dev/null
}

stop() {
  "$wine_dir/wineserver64" -k 2>/dev/null || true
  # Whichever server the session was started with.
  for pid in "$state/xvfb.pid" "$state/xorg.pid"; do
    if [ -f "$pid" ]; then
      kill "$(cat "$pid")" 2>/dev/null || true
    fi
  done
  rm -f "$state/ready" "$state/xvfb.pid" "$state/xorg.pid" "$state/wineserver.pid" \
    "$state/display"
}

skip() {
  echo "skipped: $*"
  exit 77
}

start_xvfb() {
  # 9>&-: the daemons must not inherit the session lock, or it is never released.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$state/display" </dev/null >/dev/null 2>&1 9>&- &
  echo $! > "$x_pid"
}

start_xorg() {
  # Said plainly here; Xorg would fail less plainly.
  [ "$(id -u)" = 0 ] || skip "Xorg with the dummy driver needs root here"
  if ! command -v Xorg >/dev/null || [ ! -f /usr/lib/xorg/modules/drivers/dummy_drv.so ]; then
    skip "Xorg or its dummy driver is missing (xserver-xorg-core, xserver-xorg-video-dummy)"
  fi
  # A relative path would be looked for in Xorg's own folders.
  setsid Xorg -displayfd 3 -config "$(cd "$(dirname "$0")" && pwd)/two-monitors.conf" \
    -logfile "$state/xorg.log" -noreset -nolisten tcp -novtswitch -sharevts \
    3>"$state/display" </dev/null >/dev/null 2>&1 9>&- &
  echo $! > "$x_pid"
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
  if $two_monitors; then
    start_xorg
  else
    start_xvfb
  fi
  for _ in $(seq 100); do
    [ -s "$state/display" ] && break
    kill -0 "$(cat "$x_pid")" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$state/display" ]; then
    if $two_monitors; then
      # Its log gives the reason on the line after this heading.
      why=$(sed -n '/^Fatal server error:/{n;s/^\[[^]]*\] (EE) //;s/(EE) *$//;p;q}' \
            "$state/xorg.log" 2>/dev/null || true)
      skip "Xorg did not start: ${why:-no reason given} (see $state/xorg.log)"
    fi
    echo "wine-session: Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n 1 "$state/display")"
  if $two_monitors; then
    # Without input drivers Xorg numbers the keys as xfree86 does, Xvfb as
    # evdev does: typed keys must mean the same in both sessions.
    setxkbmap -rules evdev -model pc105 -layout us
  fi
  # Wine reads the monitors' layout as the session comes up, from the
  # display that is ready by now.
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
    echo "usage: $0 start|stop STATE_DIR [--two-monitors]" >&2
    exit 2
    ;;
esac
