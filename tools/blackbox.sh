#!/usr/bin/env bash
# Drives the real program on a real X display the way a user would, with mouse
# and keyboard through xdotool, and checks what it leaves in perchly.ini:
#   1. the editors: add a site and a nickname, confirm both, exit with Ctrl+X;
#   2. the alert: a watched nickname on a loopback page raises the top-most box
#      with its exact caption; answering Yes stops watching it (ch=0 on exit).
# $1 is the folder of the built program. Needs a display: `make blackbox` runs
# it under xvfb-run.
set -euo pipefail
# xdotool decodes the text it types through the locale: under C or POSIX (as a
# CI shell often runs) the Chinese names would come out as nothing or garbage.
export LC_ALL=C.UTF-8
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "$1")
[ -n "${DISPLAY:-}" ] || { echo "blackbox: needs an X display (try xvfb-run)" >&2; exit 1; }
command -v xdotool >/dev/null || { echo "blackbox: xdotool is missing" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/perchly-blackbox-XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

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
        xwd -root -silent | convert xwd:- "$SHOT_DIR/blackbox-failure.png" 2>/dev/null || true
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
    cp "$bin/perchly" "$bin/Message.ini" "$bin/Perchly.wav" "$folder/"
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

replace_text() {
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 30 "$1"
    sleep 0.2
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
click_client "$main" 64 165            # Button1 "编辑站点"
click_client "$main" 100 51            # ComboBox1, the room-name field
replace_text "大厅"
click_client "$main" 100 91            # Edit1, the URL field
replace_text "http://127.0.0.1:9/who.html"
click_client "$main" 50 132            # Button5 "添加"
click_client "$main" 176 132           # Button7 "确定"
click_client "$main" 280 165           # Button3 "编辑目标"
click_client "$main" 310 51            # ComboBox2, the nickname field
replace_text "小燕子"
click_client "$main" 392 132           # Button10 "确定" adds what is typed
[ -n "${SHOT_DIR:-}" ] && xwd -root -silent | convert xwd:- "$SHOT_DIR/blackbox-editors.png"
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+x
wait_exit "$pid" || fail "the program exited with an error"
[ "$(ini_value "$app1/perchly.ini" Site0)" = "大厅" ] || fail "Site0 is not 大厅"
[ "$(ini_value "$app1/perchly.ini" Site0Url)" = "http://127.0.0.1:9/who.html" ] ||
    fail "Site0Url is wrong"
[ "$(ini_value "$app1/perchly.ini" Name0)" = "小燕子" ] || fail "Name0 is not 小燕子"
echo "   perchly.ini holds Site0=大厅, its URL and Name0=小燕子"

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
app2="$work/alert"
install_copy "$app2"
iconv -f utf-8 -t gb18030 >"$app2/perchly.ini" <<INI
[TargetObj]
Name0=小燕子
Name0ch=1
[TargetSite]
Site0=演示聊天室
Site0Url=http://127.0.0.1:$port/who.html
Site0ch=1
[Setting]
Sound=0
AutoUp=1
Second=3
AutoMin=0
INI
"$app2/perchly" >"$app2/out.log" 2>&1 &
pid=$!
pids+=("$pid")
main=$(wait_window '^Perchly v1.45$') || fail "the main window did not appear"
caption='目标出现 => 小燕子  取消对小燕子的监控?'
alert=$(wait_window "^目标出现 => 小燕子  取消对小燕子的监控\\?\$") ||
    fail "no alert box titled «$caption»"
echo "   alert box titled «$(xdotool getwindowname "$alert")»"
sleep 1
[ -n "${SHOT_DIR:-}" ] && xwd -root -silent | convert xwd:- "$SHOT_DIR/blackbox-alert.png"
[ -n "${SHOT_DIR:-}" ] && xwd -id "$alert" -silent | convert xwd:- "$SHOT_DIR/blackbox-alert-box.png"
xdotool windowactivate --sync "$alert" 2>/dev/null || xdotool windowfocus --sync "$alert"
xdotool key --window "$alert" --clearmodifiers y
sleep 0.5
xdotool search --onlyvisible --name '^目标出现' >/dev/null 2>&1 && fail "the alert box stayed open"
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+x
wait_exit "$pid" || fail "the program exited with an error"
[ "$(ini_value "$app2/perchly.ini" Name0ch)" = "0" ] || fail "Name0ch is not 0 after Yes"
grep -q "GET /who.html" "$work/server.log" || fail "the page was never fetched"
echo "   Yes answered; perchly.ini holds Name0ch=0"
echo "blackbox: all passed"
