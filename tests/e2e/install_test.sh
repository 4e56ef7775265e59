#!/bin/sh
# install_test.sh SOURCE_DIR BUILD_DIR [EMULATOR]: make install into a scratch DESTDIR, then the
# installed daemon, with nothing changed in its configuration but the root its paths hang from,
# checks its options, starts, scans a clean and an infected sample over its socket and stops. A
# second install changes nothing; uninstall leaves what the administrator and the daemon made, and
# an install that nobody touched uninstalls to nothing.
set -eu

src=$1
build=$2
emulator=${3:-}
user=$(id -un)
prefix=/usr/local
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tarvo-install.XXXXXX")
root=$tmp/root
pid=

alive() {
    # A zombie counts as gone: the detached master is not our child.
    [ -r "/proc/$1/stat" ] && [ "$(sed 's/.*) \(.\).*/\1/' "/proc/$1/stat" 2>/dev/null)" != Z ]
}
stop_daemon() {
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || true
    i=0
    while alive "$pid" && [ $i -lt 600 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    if alive "$pid"; then
        kill -KILL "$pid" 2>/dev/null || true
        pid=
        return 1
    fi
    pid=
}
cleanup() {
    stop_daemon || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

install_into() {
    DESTDIR=$1 TARVO_USER=$user cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
        { cat "$tmp/install.log"; fail "install into $1"; }
}
uninstall_from() {
    make -s -C "$src" uninstall BUILD="$build" DESTDIR="$1" PREFIX="$prefix" >"$tmp/uninstall.log" 2>&1 ||
        { cat "$tmp/uninstall.log"; fail "uninstall from $1"; }
}
# Every path under a root with its size, mode, owner, time, inode and checksum.
snapshot() {
    (cd "$1" && find . -print | LC_ALL=C sort | while IFS= read -r f; do
        sum=-
        if [ -f "$f" ]; then sum=$(cksum <"$f"); fi
        printf '%s %s %s\n' "$(stat -c '%s %a %u:%g %Y %i' "$f")" "$sum" "$f"
    done)
}
run32() {
    # shellcheck disable=SC2086
    $emulator "$@"
}

sock=$root/var/tarvo/run/tarvod.sock
if [ ${#sock} -gt 100 ]; then
    echo "SKIP: the socket path $sock is too long for a Unix-domain socket"
    exit 77
fi

# ---- The first install ----------------------------------------------------------------------
install_into "$root"
config=$root/etc/tarvo/tarvo32.ini
for f in usr/local/sbin/tarvod usr/local/lib/tarvo/tarvo32.dll usr/local/lib/tarvo/bases/tarvodemo.vdb \
    usr/local/lib/tarvo/bases/trvtoday.vdb etc/tarvo/tarvo32.ini.sample etc/tarvo/tarvo32.ini \
    var/tarvo/updates/timestamp; do
    [ -f "$root/$f" ] || fail "$f was not installed"
done
grep -q "DESTDIR is set: the account '$user' is not looked up or created here" "$tmp/install.log" ||
    fail "the install does not say what it did about the account"
# The folders of the configuration: present, and writable by their owner only.
for d in run:755 updates:755 spool:750 log:750 infected:750; do
    mode=$(stat -c %a "$root/var/tarvo/${d%:*}") || fail "var/tarvo/${d%:*} was not created"
    [ "$mode" = "${d#*:}" ] || fail "var/tarvo/${d%:*} has mode $mode, not ${d#*:}"
done
stamp=$(cat "$root/var/tarvo/updates/timestamp")
[ $(($(date +%s) - stamp)) -lt 3600 ] || fail "the timestamp $stamp is not the time of the install"

# The unit: in the systemd folder or beside the sample, the same pid file as the configuration.
unit=$root/etc/systemd/system/tarvod.service
[ -f "$unit" ] || unit=$root/etc/tarvo/tarvod.service
[ -f "$unit" ] || fail "tarvod.service was not installed"
for line in "Type=forking" "PIDFile=/var/tarvo/run/tarvod.pid" \
    "ExecStart=${emulator:+$emulator }/usr/local/sbin/tarvod -ini=/etc/tarvo/tarvo32.ini" \
    "ExecReload=/bin/kill -HUP \$MAINPID" "KillSignal=SIGTERM"; do
    grep -qxF "$line" "$unit" || fail "tarvod.service lacks '$line'"
done
grep -qx 'PidFile = /var/tarvo/run/tarvod.pid' "$config" || fail "the configuration names another pid file"

# ---- The installed daemon -------------------------------------------------------------------
# Only the root of the paths changes: each absolute path of a key's value moves under DESTDIR.
sed -i "/^[[:blank:]]*#/!s|^\([A-Za-z]*[[:blank:]]*=[[:blank:]]*\"\{0,1\}\)\(local:\)\{0,1\}/|\1\2$root/|" "$config"
grep -v '^[[:blank:]]*#' "$config" | grep '= *"\{0,1\}\(local:\)\{0,1\}/' | grep -v "$root/" &&
    fail "a path of the configuration is left outside $root"
# An empty TempPath would send the daemon's temporary files to the system's own folder.
grep -qx "TempPath = $root/var/tarvo/spool" "$config" || fail "the configuration does not name its temporary folder"

check=$(run32 "$root/usr/local/sbin/tarvod" -ini="$config" --check-only 2>&1) || fail "--check-only failed: $check"
case $check in
*"Options OK"*) ;;
*) fail "--check-only says: $check" ;;
esac
case $check in
*"renewal date"* | *"not up to date"*) fail "the bases' age was not read: $check" ;;
esac

started=$(run32 "$root/usr/local/sbin/tarvod" -ini="$config" 2>&1) || fail "the daemon did not start: $started"
pidfile=$root/var/tarvo/run/tarvod.pid
[ -s "$pidfile" ] || fail "no pid file after: $started"
pid=$(head -n 1 "$pidfile")
alive "$pid" || fail "the daemon $pid is not running: $started"

mkdir "$tmp/samples"
printf 'Just a text file.\n' >"$tmp/samples/clean.txt"
# The standard anti-virus test file, put together here so that no file of the sources holds it.
# shellcheck disable=SC2016
printf '%s%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR' '-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' >"$tmp/samples/eicar.com"
answer=$(run32 "$build/tools/tarvo-scan" "$sock" "$tmp/samples/clean.txt" "$tmp/samples/eicar.com" 2>&1) ||
    fail "the scan failed: $answer"
echo "$answer" | grep -q '^clean.txt: clean' || fail "the clean sample was not answered clean: $answer"
echo "$answer" | grep -q '^eicar.com: infected' || fail "the infected sample was not found: $answer"
grep -q 'eicar.com infected with EICAR-Test-File' "$root/var/tarvo/log/tarvo.log" ||
    fail "the log file of the installed configuration has no line of the scan"
stop_daemon || fail "the daemon did not stop on SIGTERM"

# ---- A second install changes nothing that exists -------------------------------------------
# What the administrator keeps: the edited configuration, a file in the quarantine, updated bases.
printf 'kept\n' >"$root/var/tarvo/infected/suspect.bin"
printf 'an update\n' >"$root/usr/local/lib/tarvo/bases/trvtoday.vdb"
snapshot "$root" >"$tmp/before"
install_into "$root"
snapshot "$root" >"$tmp/after"
diff "$tmp/before" "$tmp/after" >&2 || fail "the second install changed what was there"

# ---- Uninstall ------------------------------------------------------------------------------
uninstall_from "$root"
left=$(cd "$root" && find . -type f | LC_ALL=C sort | tr '\n' ' ')
expected="./etc/tarvo/tarvo32.ini ./usr/local/lib/tarvo/bases/trvtoday.vdb ./var/tarvo/infected/suspect.bin ./var/tarvo/log/tarvo.log "
[ "$left" = "$expected" ] || fail "uninstall left '$left' instead of '$expected'"
for d in var/tarvo/run var/tarvo/updates var/tarvo/spool etc/systemd usr/local/sbin; do
    [ ! -e "$root/$d" ] || fail "uninstall left $d, which it created and which is empty"
done

# An install nobody touched leaves nothing behind.
install_into "$tmp/fresh"
uninstall_from "$tmp/fresh"
left=$(cd "$tmp/fresh" && find . -mindepth 1 -print | tr '\n' ' ')
[ -z "$left" ] || fail "uninstall of an untouched install left $left"
echo "PASS"
