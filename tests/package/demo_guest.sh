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

home="$work/home"
demo="$home/.local/share/vadeko-demo"
mkdir -p "$home"

# A small catalogue made beforehand, with the user's account; the demo keeps a
# store it finds.
"$build/service/zenu-service" --host 127.0.0.1 --port 0 --data "$demo/service" --demo-movies 12 \
  >"$work/service.log" 2>&1 &
service=$!
port=""
for _ in $(seq 300); do
  port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/service.log")"
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "service: $(cat "$work/service.log")"
digest="$(printf 'secret' | md5sum | cut -d' ' -f1)"
curl -fsS "http://127.0.0.1:$port/urls/UserRegister?username=guest&md5_passwd=$digest&action=add&iVersion=172" \
  >/dev/null || fail "register"
kill "$service"
wait "$service" 2>/dev/null || true
mkdir -p "$demo/client/users/guest"
printf '%s' "$digest" >"$demo/client/users/guest/passwd.txt"
printf '[DefaultUser]\nuser=guest\npwd=%s\n' "$digest" >"$demo/client/config.ini"

touch "$work/marker"
sleep 1
env -u DBUS_SESSION_BUS_ADDRESS -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME \
  -u XDG_STATE_HOME -u XDG_RUNTIME_DIR -u VADEKO_DEMO_DIR HOME="$home" \
  VADEKO_BUILD_DIR="$build" VADEKO_DEMO_PORT="$port" QT_QPA_PLATFORM=offscreen \
  QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu" \
  setsid "$source_dir/scripts/run-demo" >"$work/demo.log" 2>&1 &
demo_pid=$!
entry="$demo/home/.config/autostart/zenu.desktop"
for _ in $(seq 900); do
  grep -q "LocalSrv is ready" "$demo/client/trace.log" 2>/dev/null && [ -f "$entry" ] && break
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q "LocalSrv is ready" "$demo/client/trace.log" 2>/dev/null ||
  fail "not ready: $(tail -20 "$work/demo.log")"
[ -f "$entry" ] || fail "no start-at-login entry in the demo's own home"
[ ! -e "$home/.config/autostart" ] || fail "an entry in the user's own autostart folder"

outside="$(find "$home" -newer "$work/marker" ! -type d | grep -v "^$demo/" || true)"
[ -z "$outside" ] || fail "written outside the demo's folder: $outside"
echo "demo: logged in, everything it wrote is in $demo"
