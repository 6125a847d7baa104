#!/usr/bin/env bash
# scripts/run-demo is a guest: with a fresh HOME, through a login and the
# first-run set-up (which writes the start-at-login entry), everything it
# writes stays in its own folder.
#   demo_guest.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"
build="$2"
work="$(mktemp -d)"
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill -TERM -- "-$demo_pid" 2>/dev/null || true
  sleep 1
  [ -n "$demo_pid" ] && kill -KILL -- "-$demo_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=account.sh
. "$(dirname "$0")/account.sh"

home="$work/home"
demo="$home/.local/share/vadeko-demo"
mkdir -p "$home"

# A small catalogue made beforehand, with the user's account; the demo keeps a
# store it finds.
service_with_account "$build/service/zenu-service" "$demo/service" "$work/service.log" guest \
  --demo-movies 12 || fail "service"
port="$service_port"
kill "$service_pid"
wait "$service_pid" 2>/dev/null || true
remembered_login "$demo/client" guest

touch "$work/marker"
sleep 1
env -u DBUS_SESSION_BUS_ADDRESS -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME \
  -u XDG_STATE_HOME -u XDG_RUNTIME_DIR -u VADEKO_DEMO_DIR HOME="$home" \
  VADEKO_BUILD_DIR="$build" VADEKO_DEMO_PORT="$port" QT_QPA_PLATFORM=offscreen \
  QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu" \
  setsid "$source_dir/scripts/run-demo" >"$work/demo.log" 2>&1 &
demo_pid=$!
entry="$demo/home/.config/autostart/zenu.desktop"
logged_in "$demo_pid" "$demo/client" "$entry" || true
grep -q "LocalSrv is ready" "$demo/client/trace.log" 2>/dev/null ||
  fail "not ready: $(tail -20 "$work/demo.log")"
[ -f "$entry" ] || fail "no start-at-login entry in the demo's own home"
[ ! -e "$home/.config/autostart" ] || fail "an entry in the user's own autostart folder"

outside="$(find "$home" -newer "$work/marker" ! -type d | grep -v "^$demo/" || true)"
[ -z "$outside" ] || fail "written outside the demo's folder: $outside"
echo "demo: logged in, everything it wrote is in $demo"
