#!/bin/sh
# Runs a command on the X display under openbox, once the window manager has taken the screen, and stops
# the window manager afterwards. Used by every end-to-end test (started inside xvfb-run).
config=$(mktemp -d)
mkdir -p "$config/openbox"
XDG_CONFIG_HOME="$config" XDG_CACHE_HOME="$config" openbox --sm-disable >"$config/openbox.log" 2>&1 &
wm=$!
i=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
  i=$((i + 1))
  if [ "$i" -gt 200 ] || ! kill -0 "$wm" 2>/dev/null; then
    echo "openbox did not start:" >&2
    cat "$config/openbox.log" >&2
    kill "$wm" 2>/dev/null
    rm -rf "$config"
    exit 1
  fi
  sleep 0.05
done
"$@"
rc=$?
kill "$wm" 2>/dev/null
wait "$wm" 2>/dev/null
rm -rf "$config"
exit $rc
