# Drives the demo (scripts/run-demo) on a virtual X display as a person would:
# sourced by scripts/screenshots and scripts/measure-footprint.
# Positions are those of the program's windows on a bare X server (no window
# manager: windows keep the place and size the program gives them).

session_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

session_need() {
  local missing=()
  command -v Xvfb >/dev/null || missing+=(xvfb)
  command -v xdotool >/dev/null || missing+=(xdotool)
  command -v import >/dev/null || missing+=(imagemagick)
  command -v curl >/dev/null || missing+=(curl)
  if [ "${#missing[@]}" -gt 0 ]; then
    local sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
}

# Starts a virtual display and exports DISPLAY.
session_display() {
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  session_xvfb=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    xdotool getmouselocation >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "desktop-session: no X display" >&2
  return 1
}

session_free_port() {
  local port
  for port in $(seq 18100 18199); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
}

# session_start BUILD_DIR DEMO_DIR: the demo in a session of its own.
session_start() {
  # The demo links the program's files into its folder: a relative build path
  # would leave those links dangling.
  session_build="$(cd "$1" && pwd)" || { echo "desktop-session: no build folder $1" >&2; return 1; }
  session_dir="$2"
  session_port="$(session_free_port)"
  mkdir -p "$session_dir"
  # On the virtual display, whatever platform a test shell left set.
  QT_QPA_PLATFORM=xcb VADEKO_BUILD_DIR="$session_build" VADEKO_DEMO_DIR="$session_dir" VADEKO_DEMO_PORT="$session_port" \
    setsid "$session_root/scripts/run-demo" >"$session_dir/run-demo.log" 2>&1 &
  session_pid=$!
}

session_stop() {
  [ -n "${session_pid:-}" ] || return 0
  kill -TERM -- "-$session_pid" 2>/dev/null
  for _ in $(seq 100); do
    kill -0 "$session_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$session_pid" 2>/dev/null
  session_pid=""
}

session_end() {
  session_stop
  [ -n "${session_xvfb:-}" ] && kill "$session_xvfb" 2>/dev/null
  session_xvfb=""
}

# session_fail TEXT: says why the session gave up, with what the screen showed
# (kept beside the demo's logs).
session_fail() {
  echo "desktop-session: $1" >&2
  [ -n "${session_dir:-}" ] || return 1
  echo "$1" >>"$session_dir/failure.txt"
  import -window root "$session_dir/failure.png" 2>/dev/null
  local titles
  titles=$(xdotool search --onlyvisible --name '.' 2>/dev/null | while read -r w; do
    xdotool getwindowname "$w" 2>/dev/null
  done | sort -u | tr '\n' '|')
  echo "desktop-session: windows shown: ${titles:-none}" >&2
  echo "windows shown: ${titles:-none}" >>"$session_dir/failure.txt"
  if [ -s "$session_dir/client/error.log" ]; then
    echo "desktop-session: the client's last errors:" >&2
    grep -a '^Error:' "$session_dir/client/error.log" | tail -n 3 >&2
  fi
  return 1
}

# session_alive: the demo still runs.
session_alive() { [ -n "${session_pid:-}" ] && kill -0 "$session_pid" 2>/dev/null; }

# session_window TITLE [SECONDS]: the id of the first visible window with that title.
session_window() {
  local w deadline=$((SECONDS + ${2:-60}))
  while [ "$SECONDS" -lt "$deadline" ]; do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    session_alive || { session_fail "the demo ended while waiting for the window \"$1\""; return 1; }
    sleep 0.2
  done
  session_fail "no window \"$1\" after ${2:-60} s"
}

# session_wait_trace TEXT SECONDS WHAT: waits for a line of the client's trace.
session_wait_trace() {
  local deadline=$((SECONDS + $2))
  while [ "$SECONDS" -lt "$deadline" ]; do
    session_trace_has "$1" && return 0
    session_alive || { session_fail "the demo ended while waiting for $3"; return 1; }
    sleep 0.5
  done
  session_fail "no $3 after $2 s (trace line \"$1\" missing)"
}

# session_click WINDOW X Y: a click at a place inside a window.
session_click() {
  local x y
  eval "$(xdotool getwindowgeometry --shell "$1")"
  x=$((X + $2))
  y=$((Y + $3))
  xdotool mousemove "$x" "$y" click 1
}

session_pid_of_client() { pgrep -f "^$session_build/program/vadeko" | head -1; }

session_trace_has() { grep -q "$1" "$session_dir/client/trace.log" 2>/dev/null; }

# session_login NAME PASSWORD: an account at the service, then the login dialog.
# The first start of the demo makes its catalogue before anything shows, and a
# loaded machine makes every step slow: each wait is long but bounded.
session_login() {
  local digest w deadline
  w=$(session_window "用户登录" 900) || return 1
  digest=$(printf '%s' "$2" | md5sum | cut -d' ' -f1)
  deadline=$((SECONDS + 120))
  until curl -fsS "http://127.0.0.1:$session_port/urls/UserRegister?username=$1&md5_passwd=$digest&action=add&iVersion=172" \
    >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || { session_fail "the service did not register the user"; return 1; }
    sleep 1
  done
  local attempt
  for attempt in 1 2 3; do
    xdotool windowactivate --sync "$w" 2>/dev/null || xdotool windowfocus --sync "$w"
    # Empties each field before typing: a retry must not append.
    session_click "$w" 250 126
    xdotool key --clearmodifiers ctrl+a BackSpace
    xdotool type --delay 60 "$1"
    session_click "$w" 250 158
    xdotool key --clearmodifiers ctrl+a BackSpace
    xdotool type --delay 60 "$2"
    # A click, not Enter: a key whose release lands after the dialog closed
    # would repeat in the next window.
    session_click "$w" 226 229
    local until=$((SECONDS + 90))
    while [ "$SECONDS" -lt "$until" ]; do
      session_trace_has "远程验证成功" && return 0
      session_alive || { session_fail "the demo ended during login"; return 1; }
      sleep 0.5
    done
    # A message box (wrong name, no service) or a lost keystroke: try again.
    session_dismiss_boxes
    echo "desktop-session: login attempt $attempt not confirmed, trying again" >&2
    xdotool search --onlyvisible --name "用户登录" >/dev/null 2>&1 || break
  done
  session_wait_trace "远程验证成功" 30 "login"
}

# The push-method page of a first start: "by my taste", then its OK button.
session_choose_method() {
  local w
  w=$(session_window "选择推送方式" 300) || return 1
  sleep 3
  session_click "$w" 160 155
  # The first movies may arrive meanwhile, with a message box over the page.
  for _ in 1 2 3 4 5; do
    sleep 2
    session_dismiss_boxes
    xdotool search --onlyvisible --name "选择推送方式" >/dev/null 2>&1 || return 0
    session_click "$w" 527 245
  done
  sleep 2
  session_dismiss_boxes
  xdotool search --onlyvisible --name "选择推送方式" >/dev/null 2>&1 &&
    { session_fail "the push-method page stayed open"; return 1; }
  return 0
}

session_main() { session_window "Vadeko2012冬季版" 120; }

# Ends the program's open message boxes (their title is the program's name) with
# their button.
session_dismiss_boxes() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Vadeko$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    session_click "$w" $((WIDTH - 52)) $((HEIGHT - 24))
    sleep 1
  done
}

# Toolbar buttons of the main window, and the push pane's category buttons.
session_toolbar() {
  local main x
  main=$(session_main) || return 1
  case "$1" in
    push) x=32 ;; search) x=89 ;; friends) x=146 ;; settings) x=203 ;; help) x=260 ;;
  esac
  session_click "$main" "$x" 40
}
session_category() {
  local main x
  main=$(session_main) || return 1
  case "$1" in
    downloaded) x=30 ;; downloading) x=90 ;; new) x=210 ;;
  esac
  session_click "$main" "$x" 102
}
session_first_record() {
  local main
  main=$(session_main) || return 1
  session_click "$main" 60 150
}

# session_shot WINDOW FILE
session_shot() { import -window "$1" "$2"; }
