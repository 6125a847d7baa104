#!/usr/bin/env bash
# The service's Debian package: what an operator installs. Its unit passes
# systemd's own check, its configuration file names only options the service
# knows, and the packaged service starts from that file and answers.
#   service_package.sh BUILD_DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/dist" >/dev/null) || fail "cpack"
deb="$(ls "$work"/dist/zenu-service_*_*.deb)" || fail "no zenu-service package in $(ls "$work/dist")"
ls "$work"/dist/vadeko_*.deb >/dev/null || fail "no client package"
root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/zenu-service usr/lib/systemd/system/zenu-service.service \
  etc/zenu-service/zenu-service.conf usr/share/doc/zenu-service/API.md usr/share/man/man1/zenu-service.1; do
  [ -e "$root/$f" ] || fail "missing $f"
done
[ ! -e "$root/usr/bin/vadeko" ] || fail "the client is in the service package"
dpkg-deb -I "$deb" conffiles | grep -qx /etc/zenu-service/zenu-service.conf || fail "conffiles"
dpkg-deb -I "$deb" postinst | grep -q "adduser --system" || fail "postinst makes no system user"
dpkg-deb -f "$deb" Recommends | grep -q opentracker || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

unit="$root/usr/lib/systemd/system/zenu-service.service"
# The whitelist the path unit watches is the one the shipped file names and the unit may write.
watched="$(sed -n 's/^PathChanged=//p' "$root/usr/lib/systemd/system/zenu-service-tracker.path")"
grep -qx "#tracker-whitelist = $watched" "$root/etc/zenu-service/zenu-service.conf" ||
  fail "the configuration names another whitelist than $watched"
grep -q "^ReadWritePaths=-$(dirname "$watched")\$" "$unit" || fail "the unit cannot write $watched"
grep -q '^ExecReload=.*-HUP' "$unit" || fail "ExecReload"
grep -q '^StateDirectory=zenu-service' "$unit" || fail "StateDirectory"
if command -v systemd-analyze >/dev/null; then
  # Checked on this machine's systemd, with the unit's executable at its extracted place.
  mkdir "$work/units"
  sed "s|/usr/bin/zenu-service|$root/usr/bin/zenu-service|" "$unit" >"$work/units/zenu-service.service"
  out="$(systemd-analyze verify "$work/units/zenu-service.service" 2>&1 |
    grep -v -e 'network-online.target' -e 'postgresql.service' -e 'opentracker.service' -e '^$' || true)"
  [ -z "$out" ] || fail "systemd-analyze verify: $out"
  for u in zenu-service-tracker.path zenu-service-tracker.service; do
    cp "$root/usr/lib/systemd/system/$u" "$work/units/"
  done
  out="$(systemd-analyze verify "$work/units/zenu-service-tracker.path" 2>&1 |
    grep -v -e 'opentracker.service' -e '^$' || true)"
  [ -z "$out" ] || fail "systemd-analyze verify (tracker units): $out"
else
  echo "systemd-analyze not installed: the unit is not verified"
fi

# Every key of the shipped file, commented out or not, is an option of the service.
exe="$root/usr/bin/zenu-service"
help="$("$exe" --help)"
keys="$(sed -nE 's/^#?([a-z][a-z-]*) *=.*/\1/p' "$root/etc/zenu-service/zenu-service.conf" | sort -u)"
[ -n "$keys" ] || fail "no keys in the configuration file"
for key in $keys; do
  grep -q -- "--$key" <<<"$help" || fail "--help does not document --$key"
done

# The packaged service starts from the shipped file (loopback and a free port here).
"$exe" --config "$root/etc/zenu-service/zenu-service.conf" --host 127.0.0.1 --port 0 \
  --data "$work/data" --demo-movies 4 >"$work/log" 2>&1 &
pid=$!
for _ in $(seq 100); do
  port="$(sed -nE 's/.*listening on [^ ]*:([0-9]+).*/\1/p' "$work/log")"
  [ -n "$port" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the service ended: $(cat "$work/log")"
  sleep 0.2
done
[ -n "$port" ] || fail "the service did not listen: $(cat "$work/log")"
curl -fsS "http://127.0.0.1:$port/api/v1/status" >/dev/null || fail "no status on port $port"
echo "service package: ok"
