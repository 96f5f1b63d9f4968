#!/usr/bin/env bash
# Drives the real program on a real X display the way a user would, with mouse
# and keyboard through xdotool, and checks what it leaves in perchly.ini:
#   1. the editors: the first key after opening one lands in its name field,
#      Return adds, a paste over the hint replaces it; exit with Ctrl+X;
#   2. the alert: a watched nickname on a loopback page raises the top-most box
#      with its exact caption; answering Yes stops watching it (ch=0 on exit);
#   3. the same over HTTPS, with a test CA handed over through SSL_CERT_FILE;
#   4. the alert under a window manager leaves the keyboard with the window the
#      user types in: the focused window is the same before and after it
#      appears, Return there does not answer it, and Return in the box, once
#      clicked, keeps the watch (ch=1 on exit);
#   5. F1 opens Perchly.hlp from the current folder when it is a file, else the
#      guide, and says so in a plain message when the desktop has no opener.
#   6. each site's health: a refused site and a missing page, read back with
#      `perchly --status --json` while the window runs and after it closed;
#   7. presence: a nickname that comes, goes and comes back, read back with
#      `perchly --seen --json` while the window runs and after it closed, and
#      the window 出现记录 opened with Ctrl+R.
# $1 is the folder of the built program. Uses $DISPLAY when it is set and
# starts its own Xvfb, with the openbox window manager, otherwise.
set -euo pipefail
# The names are handed to xdotool and xclip as UTF-8: under C or POSIX (as a CI
# shell often runs) they would come out as nothing or garbage.
export LC_ALL=C.UTF-8
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "$1")
for tool in xdotool xclip xmessage xprop; do
    command -v "$tool" >/dev/null || { echo "blackbox: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/perchly-blackbox-XXXXXX")
pids=()
xserver=
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "$xserver" ]; then
        kill "$xserver" 2>/dev/null || true
        wait "$xserver" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Without a display, start a private virtual one. Xvfb picks a free display
# number itself and writes it to the given descriptor once it accepts clients.
# -noreset: by default an X server resets when its last client leaves, and the
# reset drops a client that is connecting at that moment; with xdotool coming
# and going while the program starts, that ended about one start in fifty in
# Qt's abort.
if [ -z "${DISPLAY:-}" ]; then
    command -v Xvfb >/dev/null || { echo "blackbox: needs an X display or Xvfb" >&2; exit 1; }
    Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xserver=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        kill -0 "$xserver" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
        sleep 0.1
    done
    [ -s "$work/display" ] || { echo "blackbox: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n 1 "$work/display")"
    # A real window manager decides who gets the focus, as on a desktop.
    command -v openbox >/dev/null || { echo "blackbox: openbox is missing" >&2; exit 1; }
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    pids+=("$!")
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
        { cat "$work/openbox.log" >&2; echo "blackbox: openbox did not start" >&2; exit 1; }
fi

fail() {
    echo "blackbox: FAILED: $*" >&2
    # What the program left behind says which step went wrong.
    for folder in "$work"/*/; do
        [ -f "$folder/perchly.ini" ] || continue
        echo "--- ${folder}perchly.ini, empty slots left out" >&2
        iconv -f gb18030 -t utf-8 "$folder/perchly.ini" 2>/dev/null | tr -d '\r' |
            grep -Ev '^(Site|Name)[0-9]+((Url)?=|ch=0)$' >&2 || true
        echo "--- ${folder}out.log" >&2
        cat "$folder/out.log" >&2 2>/dev/null || true
    done
    if [ -n "${SHOT_DIR:-}" ]; then
        import -window root "$SHOT_DIR/blackbox-failure.png" 2>/dev/null || true
    fi
    exit 1
}

# Waits up to 20 s for a window whose title matches $1 and prints its id.
wait_window() {
    for _ in $(seq 200); do
        local id
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# A fresh copy of the program with its own files beside it, as it expects.
install_copy() {
    local folder=$1
    mkdir -p "$folder"
    cp "$bin/perchly" "$bin/Message.ini" "$bin/Perchly.wav" "$bin/perchly.html" "$folder/"
}

# Clicks at client coordinates (x, y) of the main window's central area: the
# window's X origin includes the menu bar, whose height is whatever is above
# the fixed 285-pixel client area.
click_client() {
    local window=$1 x=$2 y=$3
    local height
    height=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')
    xdotool mousemove --window "$window" "$x" $((y + height - 285)) click 1
    sleep 0.3
}

# Replaces the focused field's text by pasting it, as a user with an input
# method would. Typed CJK text races: xdotool remaps a spare key for every
# character, and on a loaded machine a key can arrive before the program has
# seen the new map, so characters were lost.
replace_text() {
    printf '%s' "$1" | xclip -selection clipboard -in >/dev/null 2>&1
    xdotool key --clearmodifiers ctrl+a
    xdotool key --clearmodifiers ctrl+v
    sleep 0.3
}

# Activates a window through the window manager, or focuses it where there is
# none.
focus() {
    timeout 10 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1"
}

# Waits up to 10 s for a line matching $2 in file $1.
wait_line() {
    for _ in $(seq 100); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# Pastes into whatever has the keyboard focus, replacing nothing by itself.
paste_text() {
    printf '%s' "$1" | xclip -selection clipboard -in >/dev/null 2>&1
    xdotool key --clearmodifiers ctrl+v
    sleep 0.3
}

# Clicks inside an alert box, on its text: what gives a box shown without the
# focus the keyboard.
click_box() {
    xdotool mousemove --window "$1" 60 30 click 1
    sleep 0.3
}

ini_value() {
    iconv -f gb18030 -t utf-8 "$1" | tr -d '\r' | sed -n "s/^$2=//p" | head -n 1
}

wait_exit() {
    local pid=$1
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; return $?; }
        sleep 0.1
    done
    fail "the program did not exit"
}

echo "== editors: add a site and a nickname through the window"
app1="$work/editors"
install_copy "$app1"
printf '[Setting]\r\nAutoUp=0\r\nAutoMin=0\r\n' >"$app1/perchly.ini"
"$app1/perchly" >"$app1/out.log" 2>&1 &
pid=$!
pids+=("$pid")
main=$(wait_window '^Perchly v1.45$') || fail "the main window did not appear"
sleep 1
click_client "$main" 64 165            # Button1 "编辑站点": the keys go to the name field
paste_text "大厅"
click_client "$main" 100 91            # Edit1, the URL field
replace_text "http://127.0.0.1:9/who.html"
xdotool key --clearmodifiers Return    # adds, as "添加" does
sleep 0.3
click_client "$main" 176 132           # Button7 "确定"
click_client "$main" 280 165           # Button3 "编辑目标"
paste_text "小燕子"
xdotool key --clearmodifiers Return    # adds; the field shows its hint, selected
sleep 0.3
paste_text "阿明"                      # replaces the hint instead of mixing with it
click_client "$main" 392 132           # Button10 "确定" adds what is typed
[ -n "${SHOT_DIR:-}" ] && import -window root "$SHOT_DIR/blackbox-editors.png"
focus "$main"
xdotool key --clearmodifiers ctrl+x
wait_exit "$pid" || fail "the program exited with an error"
[ "$(ini_value "$app1/perchly.ini" Site0)" = "大厅" ] || fail "Site0 is not 大厅"
[ "$(ini_value "$app1/perchly.ini" Site0Url)" = "http://127.0.0.1:9/who.html" ] ||
    fail "Site0Url is wrong"
[ "$(ini_value "$app1/perchly.ini" Name0)" = "小燕子" ] || fail "Name0 is not 小燕子"
[ "$(ini_value "$app1/perchly.ini" Name1)" = "阿明" ] ||
    fail "Name1 is «$(ini_value "$app1/perchly.ini" Name1)», not 阿明"
echo "   perchly.ini holds Site0=大厅, its URL, Name0=小燕子 and Name1=阿明"

# Starts the copy in folder $1 (further arguments are environment assignments
# for it) and waits for its window ($main, $pid).
launch_copy() {
    local app=$1
    shift
    env "$@" "$app/perchly" >"$app/out.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    main=$(wait_window '^Perchly v1.45$') || fail "the main window did not appear"
}

echo "== alert: a watched nickname on a loopback page"
mkdir "$work/site"
cp "$here/data/demo/who.html" "$work/site/who.html"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$work/site" "$port" >"$work/server.log" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do
    curl -fs -o /dev/null "http://127.0.0.1:$port/who.html" && break
    sleep 0.1
done
# Starts a fresh copy in folder $1 watching $2 for the nickname 小燕子 every 3
# seconds and waits for its window ($main, $pid). Further arguments are
# environment assignments for the program (e.g. SSL_CERT_FILE=...).
start_watching() {
    local app=$1 url=$2
    shift 2
    install_copy "$app"
    iconv -f utf-8 -t gb18030 >"$app/perchly.ini" <<INI
[TargetObj]
Name0=小燕子
Name0ch=1
[TargetSite]
Site0=演示聊天室
Site0Url=$url
Site0ch=1
[Setting]
Sound=0
AutoUp=1
Second=3
AutoMin=0
INI
    launch_copy "$app" "$@"
}

# Waits for the alert box of 小燕子 ($alert), with its exact caption.
wait_alert() {
    local app=$1
    caption='目标出现 => 小燕子  取消对小燕子的监控?'
    alert=$(wait_window "^目标出现 => 小燕子  取消对小燕子的监控\\?\$") ||
        fail "no alert box titled «$caption»"
    echo "   alert box titled «$(xdotool getwindowname "$alert")»"
    sleep 1
    [ -n "${SHOT_DIR:-}" ] && import -window root "$SHOT_DIR/blackbox-$(basename "$app").png"
    [ -n "${SHOT_DIR:-}" ] && xwd -id "$alert" -silent | convert xwd:- "$SHOT_DIR/blackbox-$(basename "$app")-box.png"
    return 0
}

# Watches $2 with a fresh copy in folder $1, answers the alert with Yes, exits
# and checks Name0ch=0.
watch_and_answer() {
    local app=$1
    start_watching "$@"
    wait_alert "$app"
    click_box "$alert"
    xdotool key --clearmodifiers y
    sleep 0.5
    xdotool search --onlyvisible --name '^目标出现' >/dev/null 2>&1 && fail "the alert box stayed open"
    focus "$main"
    xdotool key --clearmodifiers ctrl+x
    wait_exit "$pid" || fail "the program exited with an error"
    [ "$(ini_value "$app/perchly.ini" Name0ch)" = "0" ] || fail "Name0ch is not 0 after Yes"
}

watch_and_answer "$work/alert" "http://127.0.0.1:$port/who.html"
grep -q "GET /who.html" "$work/server.log" || fail "the page was never fetched"
echo "   Yes answered; perchly.ini holds Name0ch=0"

echo "== https: the same page over TLS, its CA given through SSL_CERT_FILE"
tls="$work/tls"
mkdir "$tls"
printf '[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = Perchly black-box\n[ca]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign\n' >"$tls/openssl.cnf"
printf 'subjectAltName = DNS:localhost, IP:127.0.0.1\n' >"$tls/leaf.ext"
key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
{
    openssl req -x509 $key -keyout "$tls/ca.key" -out "$tls/ca.pem" -days 2 \
        -subj "/CN=Perchly black-box CA" -config "$tls/openssl.cnf" -extensions ca &&
        openssl req $key -keyout "$tls/site.key" -out "$tls/site.csr" -subj "/CN=localhost" \
            -config "$tls/openssl.cnf" &&
        openssl x509 -req -in "$tls/site.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" \
            -CAcreateserial -days 2 -extfile "$tls/leaf.ext" -out "$tls/site.pem"
} >"$tls/openssl.log" 2>&1 || { cat "$tls/openssl.log" >&2; fail "openssl could not make the test certificates"; }
tport=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 - "$tport" "$work/site" "$tls/site.pem" "$tls/site.key" >"$work/tls-server.log" 2>&1 <<'PY' &
import functools, http.server, ssl, sys
port, root, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=root)
server = http.server.HTTPServer(("127.0.0.1", port), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
PY
pids+=("$!")
for _ in $(seq 100); do
    curl -fs --cacert "$tls/ca.pem" -o /dev/null "https://localhost:$tport/who.html" && break
    sleep 0.1
done
watch_and_answer "$work/https" "https://localhost:$tport/who.html" SSL_CERT_FILE="$tls/ca.pem"
[ "$(grep -c "GET /who.html" "$work/tls-server.log")" -ge 2 ] || fail "the page was never fetched over TLS"
echo "   fetched over TLS; Yes answered; perchly.ini holds Name0ch=0"

echo "== alert under a window manager: the keyboard stays where the user types"
# A page of its own, emptied once the box is up, so no second box follows.
cp "$work/site/who.html" "$work/site/focus.html"
xmessage -geometry 320x80+600+560 "a chat window" >/dev/null 2>&1 &
pids+=("$!")
chat=$(wait_window '^xmessage$') || fail "the stand-in chat window did not appear"
start_watching "$work/focus" "http://127.0.0.1:$port/focus.html"
# The user goes back to typing in the chat window before the nickname turns up.
focus "$chat"
before=$(xdotool getactivewindow)
[ "$before" = "$chat" ] || fail "the chat window could not be given the focus"
wait_alert "$work/focus"
printf '<html><body>nobody</body></html>' >"$work/site/focus.html"
[ "$(xdotool getactivewindow)" = "$before" ] || fail "the alert box took the focus as it appeared"
sleep 2  # past the moment the box starts accepting the focus
[ "$(xdotool getactivewindow)" = "$before" ] || fail "the alert box took the focus later"
xdotool key --clearmodifiers Return
sleep 0.5
xdotool search --onlyvisible --name '^目标出现' >/dev/null 2>&1 ||
    fail "Return typed in the chat window answered the alert"
click_box "$alert"
[ "$(xdotool getactivewindow)" = "$alert" ] || fail "a click did not give the alert box the keyboard"
xdotool key --clearmodifiers Return
sleep 0.5
xdotool search --onlyvisible --name '^目标出现' >/dev/null 2>&1 && fail "Return did not answer the box"
focus "$main"
xdotool key --clearmodifiers ctrl+x
wait_exit "$pid" || fail "the program exited with an error"
[ "$(ini_value "$work/focus/perchly.ini" Name0ch)" = "1" ] || fail "Return in a fresh alert box cost the watch"
echo "   the focus stayed with the chat window; Return there left the box; Return in it kept Name0ch=1"

echo "== F1: Perchly.hlp when it is a file, else the guide, else a plain message"
# A stand-in for xdg-open that writes down what it was asked to open.
mkdir -p "$work/opener" "$work/cwd"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/opened.log"\n' "$work" >"$work/opener/xdg-open"
chmod +x "$work/opener/xdg-open"
printf 'help' >"$work/cwd/Perchly.hlp"
# Starts a fresh copy in folder $1, in the folder $work/cwd, with the PATH $2.
start_in_cwd() {
    install_copy "$1"
    printf '[Setting]\r\nAutoUp=0\r\nAutoMin=0\r\n' >"$1/perchly.ini"
    (cd "$work/cwd" && exec env -u BROWSER -u DEFAULT_BROWSER PATH="$2" "$1/perchly") \
        >"$1/out.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    main=$(wait_window '^Perchly v1.45$') || fail "the main window did not appear"
    sleep 1
}
start_in_cwd "$work/help" "$work/opener:$PATH"
focus "$main"
xdotool key --clearmodifiers F1
wait_line "$work/opened.log" 'cwd/Perchly\.hlp' || fail "F1 did not open ./Perchly.hlp"
rm "$work/cwd/Perchly.hlp"
mkdir "$work/cwd/Perchly.hlp"
focus "$main"
xdotool key --clearmodifiers F1
wait_line "$work/opened.log" 'help/perchly\.html' || fail "F1 did not open the guide beside the program"
focus "$main"
xdotool key --clearmodifiers ctrl+x
wait_exit "$pid" || fail "the program exited with an error"
echo "   opened: $(tr '\n' ' ' <"$work/opened.log")"
start_in_cwd "$work/no-opener" /nonexistent
focus "$main"
xdotool key --clearmodifiers F1
message=$(wait_window '^Perchly$') || fail "no message when nothing can open the guide"
focus "$message"
xdotool key --clearmodifiers Return
sleep 0.5
xdotool search --onlyvisible --name '^Perchly$' >/dev/null 2>&1 && fail "the message did not close"
focus "$main"
xdotool key --clearmodifiers ctrl+x
wait_exit "$pid" || fail "the program exited with an error"
echo "   without an opener F1 said so in a plain message"

echo "== health: a refused site and a missing page, read by perchly --status --json"
health="$work/health"
install_copy "$health"
refused=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
iconv -f utf-8 -t gb18030 >"$health/perchly.ini" <<INI
[TargetObj]
Name0=小燕子
Name0ch=1
[TargetSite]
Site0=拒绝
Site0Url=http://127.0.0.1:$refused/who.html
Site0ch=1
Site1=不存在
Site1Url=http://127.0.0.1:$port/missing.html
Site1ch=1
[Setting]
Sound=0
AutoUp=1
Second=3
AutoMin=0
INI
launch_copy "$health"
# Checks a --status --json answer: both sites failed, each with its reason.
check_status() {
    python3 - "$1" <<'PY'
import json, sys
sites = json.loads(sys.argv[1])["sites"]
expected = [("拒绝", "Connection Failed", "连接被拒绝: 该端口没有服务"),
            ("不存在", "HTTP/1.0 404 File not found", "服务器返回 404: 页面不存在")]
if [s["name"] for s in sites] != [e[0] for e in expected]:
    sys.exit("sites: %r" % sites)
for site, (name, reason, reason_zh) in zip(sites, expected):
    if site["last_check"] is None:
        sys.exit(2)
    if (site["result"], site["reason"], site["reason_zh"]) != ("failed", reason, reason_zh):
        sys.exit("%s: %r" % (name, site))
    if site["checks_24h"] < 1 or site["failures_24h"] != site["checks_24h"]:
        sys.exit("%s: %r" % (name, site))
PY
}
answer=
for _ in $(seq 100); do
    answer=$(env -u DISPLAY "$health/perchly" --status --json) || fail "perchly --status --json failed"
    check_status "$answer" 2>/dev/null && break
    sleep 0.2
done
check_status "$answer" || fail "perchly --status --json while the window runs: $answer"
echo "   while it runs: both sites failed, with their reasons"
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+x
wait_exit "$pid" || fail "the program exited with an error"
answer=$(env -u DISPLAY "$health/perchly" --status --json) || fail "perchly --status --json failed"
check_status "$answer" || fail "perchly --status --json after the close: $answer"
echo "   after the close: the same, read from perchly.db"

echo "== presence: a nickname comes, goes and comes back, read by perchly --seen --json"
seen="$work/seen"
install_copy "$seen"
room="$work/site/room.html"
present='<html><body><p>在线: 小燕子, 游客12</p></body></html>'
absent='<html><body><p>在线: 游客12</p></body></html>'
printf '%s' "$present" >"$room"
iconv -f utf-8 -t gb18030 >"$seen/perchly.ini" <<INI
[TargetObj]
Name0=小燕子
Name0ch=1
Name1=大熊
Name1ch=1
[TargetSite]
Site0=聊天大厅
Site0Url=http://127.0.0.1:$port/room.html
Site0ch=1
[Setting]
Sound=0
AutoUp=1
Second=3
AutoMin=0
INI
launch_copy "$seen"
# Checks a --seen --json answer: 小燕子 seen in 聊天大厅 in $2 spans (and
# watched when $3 is 1), 大熊 watched and never seen.
check_seen() {
    python3 - "$1" "$2" "$3" <<'PY'
import json, sys
targets = json.loads(sys.argv[1])["targets"]
if [t["name"] for t in targets] != ["小燕子", "大熊"]:
    sys.exit("targets: %r" % targets)
she, bear = targets
if she["watched"] != (sys.argv[3] == "1"):
    sys.exit("小燕子: %r" % she)
if she["last_seen"] is None or she["last_site"] != "聊天大厅" or she["spans_30d"] != int(sys.argv[2]):
    sys.exit("小燕子: %r" % she)
if bear != {"name": "大熊", "watched": True, "last_seen": None, "last_site": None, "spans_30d": 0}:
    sys.exit("大熊: %r" % bear)
PY
}
# Seen while her box is open; she leaves, the box is answered No, and she
# comes back: a second span.
for visit in 1 2; do
    wait_alert "$seen"
    answer=$(env -u DISPLAY "$seen/perchly" --seen --json) || fail "perchly --seen --json failed"
    check_seen "$answer" "$visit" 1 || fail "perchly --seen --json with her box open: $answer"
    printf '%s' "$absent" >"$room"
    click_box "$alert"
    xdotool key --clearmodifiers Return
    sleep 0.5
    # A check that does not see her ends her span before she comes back.
    before=$(grep -c "GET /room.html" "$work/server.log")
    for _ in $(seq 100); do
        [ "$(grep -c "GET /room.html" "$work/server.log")" -gt "$before" ] && break
        sleep 0.1
    done
    sleep 0.5
    printf '%s' "$present" >"$room"
done
echo "   while it runs: seen in 聊天大厅, twice, and 大熊 never"
# The third visit is answered Yes: she is no longer watched, her record stays.
wait_alert "$seen"
click_box "$alert"
xdotool key --clearmodifiers y
sleep 0.5
focus "$main"
xdotool key --clearmodifiers ctrl+r
records=$(wait_window '^出现记录$') || fail "Ctrl+R did not open the window 出现记录"
[ -n "${SHOT_DIR:-}" ] && import -window "$records" "$SHOT_DIR/blackbox-seen-records.png"
xdotool key --clearmodifiers Escape
focus "$main"
xdotool key --clearmodifiers ctrl+x
wait_exit "$pid" || fail "the program exited with an error"
answer=$(env -u DISPLAY "$seen/perchly" --seen --json) || fail "perchly --seen --json failed"
check_seen "$answer" 3 0 || fail "perchly --seen --json after the close: $answer"
echo "   after the close: the same three visits, read from perchly.db, no longer watched"
echo "blackbox: all passed"
