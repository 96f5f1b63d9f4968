#!/usr/bin/env bash
# Checks the Debian package the way a new user meets it, on a machine where we
# are root: validates its desktop files and runs lintian, installs it, starts
# the installed /usr/bin/perchly offscreen as a fresh unprivileged user, and
# checks where the settings go, the single copy per folder, a lock left by
# SIGKILL, an unwritable settings folder and the save on SIGTERM; then removes
# the package again. $1 is the package file.
set -euo pipefail
deb=$(realpath "$1")
[ "$(id -u)" -eq 0 ] || { echo "package-check: must run as root" >&2; exit 1; }
export LC_ALL=C.UTF-8

work=$(mktemp -d /tmp/perchly-package-XXXXXX)
user=perchly-check-$$
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    userdel "$user" 2>/dev/null || true
    dpkg-query -W perchly >/dev/null 2>&1 && apt-get remove -y -qq perchly >/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "package-check: FAILED: $*" >&2
    for log in "$work"/*.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
    done
    exit 1
}

echo "== the package's metadata"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
# lintian fails on errors only; its warnings are printed for the log.
lintian --fail-on error "$deb" || fail "lintian reports errors"
apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || fail "the package does not install"
desktop-file-validate /usr/share/applications/org.example.perchly.desktop ||
    fail "desktop entry"
appstreamcli validate --pedantic --no-net /usr/share/metainfo/org.example.perchly.metainfo.xml ||
    fail "AppStream metadata"
[ -s /usr/share/doc/perchly/perchly.html ] || fail "the user guide is not installed"
for size in 16x16 32x32 48x48 256x256 scalable; do
    ls /usr/share/icons/hicolor/$size/apps/org.example.perchly.* >/dev/null || fail "icon $size"
done

home=$work/home
mkdir -p "$home"
chmod 755 "$work"
useradd --no-create-home --home-dir "$home" --shell /bin/sh "$user"
chown "$user:" "$home"
settings=$home/.config/perchly

# Starts the installed program as the new user, offscreen, in the background;
# extra VAR=value words go to its environment.
start() {
    local log=$1
    shift
    setpriv --reuid="$user" --regid="$user" --init-groups \
        env -i HOME="$home" USER="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 \
        QT_QPA_PLATFORM=offscreen "$@" /usr/bin/perchly >"$work/$log.log" 2>&1 &
    pids+=($!)
    started=$!
}
# Whether a started copy still runs (an ended one stays a zombie until reaped).
alive() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}
# Waits until the copy with the given pid holds the settings folder's lock.
wait_for_lock() {
    for _ in $(seq 600); do
        [ "$(head -n 1 "$settings/perchly.lock" 2>/dev/null)" = "$1" ] && return 0
        alive "$1" || fail "perchly ($1) ended early"
        sleep 0.1
    done
    fail "perchly ($1) never took its settings folder"
}
# Waits (at most a minute) for a copy to end; its exit status lands in $status.
wait_for_end() {
    for _ in $(seq 600); do
        alive "$1" || break
        sleep 0.1
    done
    alive "$1" && fail "perchly ($1) did not end"
    status=0
    wait "$1" || status=$?
}

echo "== a first start creates ~/.config/perchly, a second hands over, SIGTERM saves"
start first
first=$started
wait_for_lock "$first"
[ "$(stat -c %a "$settings")" = 700 ] || fail "settings folder mode $(stat -c %a "$settings")"
cmp "$settings/Message.ini" /usr/share/perchly/Message.ini || fail "Message.ini not copied"
start second
wait_for_end "$started"
[ "$status" = 0 ] || fail "the second start did not hand over (status $status)"
alive "$first" || fail "the first copy ended"
kill -TERM "$first"
wait_for_end "$first"
[ "$status" = 0 ] || fail "SIGTERM did not end the first copy cleanly (status $status)"
ini=$settings/perchly.ini
for line in 'Second=10' 'Name0=' 'Name99ch=0' 'Site0Url=' 'Site99ch=0'; do
    grep -qx "$line"$'\r' "$ini" || fail "perchly.ini lacks $line"
done
[ ! -e "$settings/perchly.lock" ] || fail "the lock was left behind"

echo "== perchly --status reads the same folder, without a display"
answer=$(setpriv --reuid="$user" --regid="$user" --init-groups \
    env -i HOME="$home" USER="$user" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    /usr/bin/perchly --status --json) || fail "perchly --status --json failed"
python3 -c 'import json, sys; sys.exit(json.loads(sys.argv[1]) != {"sites": []})' "$answer" ||
    fail "perchly --status --json gave $answer"

echo "== a lock left by SIGKILL does not keep the next start out"
printf '[TargetObj]\r\nName0=Alice\r\nName0ch=1\r\n[TargetSite]\r\nSite0=Room\r\nSite0Url=http://127.0.0.1:9/who\r\nSite0ch=0\r\n[Setting]\r\nAutoUp=0\r\nSecond=30\r\n' >"$ini"
start killed
killed=$started
wait_for_lock "$killed"
kill -KILL "$killed"
wait_for_end "$killed"
start third
third=$started
wait_for_lock "$third"
kill -TERM "$third"
wait_for_end "$third"
[ "$status" = 0 ] || fail "SIGTERM did not end the third copy cleanly (status $status)"
for line in 'Name0=Alice' 'Name0ch=1' 'Site0=Room' 'Site0Url=http://127.0.0.1:9/who' 'Second=30'; do
    grep -qx "$line"$'\r' "$ini" || fail "perchly.ini lost $line"
done

echo "== an unwritable settings folder is refused with a message"
mkdir -p "$home/readonly"
chown "$user:" "$home/readonly"
chmod 555 "$home/readonly"
start readonly XDG_CONFIG_HOME="$home/readonly"
wait_for_end "$started"
[ "$status" = 1 ] || fail "an unwritable folder did not end with status 1 (status $status)"
grep -q "Cannot create the folder $home/readonly/perchly" "$work/readonly.log" ||
    fail "no clear message for an unwritable folder"

apt-get remove -y -qq perchly >>"$work/apt.log" 2>&1 || fail "the package does not remove"
[ ! -e /usr/bin/perchly ] || fail "/usr/bin/perchly is still there after removal"
echo "package-check: passed"
