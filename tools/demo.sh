#!/usr/bin/env bash
# A demonstration without internet: a sample "who is present" page served on a
# free loopback port, and a copy of Perchly in its own temporary folder that
# watches that page for a nickname on it every 5 seconds, so the alert sound
# and box appear within one interval. $1 is the folder of the built program.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "$1")

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "The demo opens Perchly's window and needs a display." >&2
    echo "Run 'xvfb-run make demo' for a virtual one." >&2
    exit 1
fi
for file in perchly Message.ini Perchly.wav; do
    [ -e "$bin/$file" ] || { echo "demo: $bin/$file is missing; build first (make demo does)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/perchly-demo-XXXXXX")
server=""
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir "$work/site"
cp "$here/data/demo/who.html" "$work/site/who.html"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$work/site" "$port" >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do
    curl -fs -o /dev/null "http://127.0.0.1:$port/who.html" && break
    kill -0 "$server" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
    sleep 0.1
done
curl -fs -o /dev/null "http://127.0.0.1:$port/who.html" || { echo "demo: the page server did not start" >&2; exit 1; }

# Perchly keeps its files beside its executable, so the copy gets its own set.
cp "$bin/perchly" "$bin/Message.ini" "$bin/Perchly.wav" "$work/"
# The settings file is GB-encoded like everything Perchly stores.
iconv -f utf-8 -t gb18030 >"$work/perchly.ini" <<INI
[TargetObj]
Name0=小燕子
Name0ch=1
Name1=不在线的人
Name1ch=1
[TargetSite]
Site0=演示聊天室
Site0Url=http://127.0.0.1:$port/who.html
Site0ch=1
[Setting]
Sound=1
AutoUp=1
Second=5
AutoMin=0
INI

echo "Demo page: http://127.0.0.1:$port/who.html (watched for 小燕子 every 5 s)"
echo "Perchly runs from $work; close its window to end the demo."
"$work/perchly"
