#!/usr/bin/env bash
# The Debian package installs a program that keeps to the desktop's folders:
# extracted, run offscreen with a fresh HOME against the reference service, it
# reaches the ready local server and logs in, writes only below the XDG folders,
# points its start-at-login entry at the installed executable, and leaves its
# install tree as it found it.
#   installed_program.sh BUILD_DIR SERVICE_EXECUTABLE
set -euo pipefail
build="$1"
service_exe="$2"
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "run under dbus-run-session"; exit 77; }
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# shellcheck source=account.sh
. "$(dirname "$0")/account.sh"

(cd "$build" && cpack -G DEB -B "$work/dist" >/dev/null) || fail "cpack"
deb="$(ls "$work"/dist/vadeko_*.deb)"
dpkg-deb -x "$deb" "$work/root"
prefix="$work/root/usr"
dpkg-deb -f "$deb" Depends | grep -q "libqt6webenginecore6-bin" || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
for f in bin/vadeko lib/vadeko/zenu-localserver lib/vadeko/zenu-btdownload share/vadeko/root/search_home.html \
  share/vadeko/help/index.html share/vadeko/DATA/NULL_BULLETIN.HTM share/vadeko/UI.ini \
  share/icons/hicolor/scalable/apps/net.vadeko.Vadeko.svg share/icons/hicolor/48x48/apps/net.vadeko.Vadeko.png; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
desktop-file-validate "$prefix/share/applications/net.vadeko.Vadeko.desktop" || fail "launcher"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/net.vadeko.Vadeko.metainfo.xml" >/dev/null ||
    fail "metainfo"
fi

service_with_account "$service_exe" "$work/service" "$work/service.log" tester || fail "service"
pids+=("$service_pid")
port="$service_port"

# A fresh home whose user logged in before: the login goes through by itself.
home="$work/home"
data="$home/.local/share/vadeko"
remembered_login "$data" tester
mkdir -m 700 "$work/runtime"
find "$work/root" -printf '%p %s %T@ %m\n' | sort >"$work/tree-before"
touch "$work/marker"
sleep 1

env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$work/runtime" \
  DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" QT_QPA_PLATFORM=offscreen \
  QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu" VADEKO_REMOTE_HOST=127.0.0.1 \
  "$prefix/bin/vadeko" -server_port "$port" >"$work/vadeko.log" 2>&1 &
vadeko=$!
pids+=("$vadeko")
entry="$home/.config/autostart/zenu.desktop"
logged_in "$vadeko" "$data" "$entry" || true
grep -q "LocalSrv is ready" "$data/trace.log" 2>/dev/null ||
  fail "not ready: $(cat "$data/trace.log" "$data/error.log" "$work/vadeko.log" 2>/dev/null | tail -20)"
[ -f "$entry" ] || fail "no start-at-login entry after the login"
grep -q "^Exec=$prefix/bin/vadeko " "$entry" || fail "start-at-login entry: $(grep Exec "$entry")"
[ "$(readlink "$data/root")" = "$prefix/share/vadeko/root" ] || fail "pages link: $(readlink "$data/root")"
iconv -f UTF-8 -t UTF-8 "$data/trace.log" >/dev/null || fail "trace log is not UTF-8"

kill -TERM "$vadeko"
for _ in $(seq 300); do
  kill -0 "$vadeko" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$vadeko" 2>/dev/null && fail "still running 30 s after SIGTERM"
[ ! -s "$data/error.log" ] || fail "error log: $(cat "$data/error.log")"

find "$work/root" -printf '%p %s %T@ %m\n' | sort >"$work/tree-after"
diff "$work/tree-before" "$work/tree-after" >&2 || fail "the install tree changed"
outside="$(find "$home" -newer "$work/marker" ! -type d | grep -v -e "^$home/.local/share/" \
  -e "^$home/.config/" -e "^$home/.cache/" -e "^$home/.local/state/" || true)"
[ -z "$outside" ] || fail "written outside the XDG folders: $outside"
echo "installed program: ready, logged in, nothing written outside the XDG folders"
