# Sourced by the package tests: the reference service with one account, and a
# client folder whose user logged in before (so the login goes through by itself).

# service_with_account SERVICE_EXE DATA_DIR LOG NAME [service options...]
# Sets service_pid, service_port and account_digest (of the password "secret").
service_with_account() {
  local exe="$1" data="$2" log="$3" name="$4"
  shift 4
  "$exe" --host 127.0.0.1 --port 0 --data "$data" "$@" >"$log" 2>&1 &
  service_pid=$!
  service_port=""
  for _ in $(seq 300); do
    service_port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")"
    [ -n "$service_port" ] && break
    sleep 0.1
  done
  [ -n "$service_port" ] || { echo "service: $(cat "$log")" >&2; return 1; }
  account_digest="$(printf 'secret' | md5sum | cut -d' ' -f1)"
  curl -fsS "http://127.0.0.1:$service_port/urls/UserRegister?username=$name&md5_passwd=$account_digest&action=add&iVersion=172" \
    >/dev/null
}

# remembered_login PROGRAM_FOLDER NAME
remembered_login() {
  mkdir -p "$1/users/$2"
  printf '%s' "$account_digest" >"$1/users/$2/passwd.txt"
  printf '[DefaultUser]\nuser=%s\npwd=%s\n' "$2" "$account_digest" >"$1/config.ini"
}

# logged_in PID PROGRAM_FOLDER ENTRY: waits (up to a minute and a half) until the
# local server is ready and the first login wrote the start-at-login entry ENTRY.
logged_in() {
  for _ in $(seq 900); do
    grep -q "LocalSrv is ready" "$2/trace.log" 2>/dev/null && [ -f "$3" ] && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
