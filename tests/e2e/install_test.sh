#!/bin/sh
# install_test.sh SOURCE_DIR BUILD_DIR [EMULATOR]: make install into a scratch DESTDIR, then the
# installed daemon, with nothing changed in its configuration but the root its paths hang from,
# checks its options, starts through the installed command, serves a clean and an infected sample
# to the installed tarvo-scan on its mode-0660 socket, and survives the unit's reload with a broken
# configuration. The installed commands find the emulator where the kernel (here made to) refuses
# i386 programs. A second install changes nothing; uninstall leaves what the administrator and the
# daemon made, an install that nobody touched uninstalls to nothing, and uninstalling a running
# daemon says so.
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
note() { echo "note: $*"; }

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
# Only the root of the paths of ROOT's configuration changes: each absolute path of a key's value
# moves under ROOT.
relocate_config() {
    conf=$1/etc/tarvo/tarvo32.ini
    sed -i "/^[[:blank:]]*#/!s|^\([A-Za-z]*[[:blank:]]*=[[:blank:]]*\"\{0,1\}\)\(local:\)\{0,1\}/|\1\2$1/|" "$conf"
    grep -v '^[[:blank:]]*#' "$conf" | grep '= *"\{0,1\}\(local:\)\{0,1\}/' | grep -v "$1/" &&
        fail "a path of the configuration is left outside $1"
    return 0
}
# Starts the daemon of ROOT through its installed command; sets pid.
start_daemon() {
    started=$("$1$prefix/sbin/tarvod" -ini="$1/etc/tarvo/tarvo32.ini" 2>&1) || fail "the daemon did not start: $started"
    [ -s "$1/var/tarvo/run/tarvod.pid" ] || fail "no pid file after: $started"
    pid=$(head -n 1 "$1/var/tarvo/run/tarvod.pid")
    alive "$pid" || fail "the daemon $pid is not running: $started"
}
# The installed tarvo-scan on the socket of the installed daemon: its output in $answer, its exit
# status in $status.
scan() {
    status=0
    answer=$("$root$prefix/bin/tarvo-scan" "$sock" "$@" 2>&1) || status=$?
}
# The ExecReload= lines of the unit, run as systemd runs them: one after the other, each a command
# line with the main pid for $MAINPID, up to the first that fails (0 or 1). The paths under the
# prefix and the configuration folder are taken from the root.
unit_reload() {
    sed -n 's/^ExecReload=[-@:+!]*//p' "$unit" | sed -e "s/\${\{0,1\}MAINPID}\{0,1\}/$pid/g" \
        -e "s#\(^\| \)$prefix/#\1$root$prefix/#g" -e "s#=/etc/tarvo/#=$root/etc/tarvo/#g" >"$tmp/reload.cmds"
    [ -s "$tmp/reload.cmds" ] || fail "tarvod.service has no ExecReload="
    while IFS= read -r cmd; do
        # shellcheck disable=SC2086
        $cmd </dev/null >>"$tmp/reload.log" 2>&1 || return 1
    done <"$tmp/reload.cmds"
}
reloads() { grep -c 'SIGHUP received, reloading' "$root/var/tarvo/log/tarvo.log" || true; }

sock=$root/var/tarvo/run/tarvod.sock
if [ ${#sock} -gt 100 ]; then
    echo "SKIP: the socket path $sock is too long for a Unix-domain socket"
    exit 77
fi

# ---- The first install ----------------------------------------------------------------------
install_into "$root"
config=$root/etc/tarvo/tarvo32.ini
for f in sbin/tarvod bin/tarvo-scan lib/tarvo/tarvod lib/tarvo/tarvo-scan lib/tarvo/i386-probe \
    lib/tarvo/tarvo32.dll lib/tarvo/bases/tarvodemo.vdb lib/tarvo/bases/trvtoday.vdb \
    share/man/man8/tarvod.8 share/man/man5/tarvo32.ini.5; do
    [ -f "$root$prefix/$f" ] || fail "$prefix/$f was not installed"
done
for f in etc/tarvo/tarvo32.ini.sample etc/tarvo/tarvo32.ini etc/logrotate.d/tarvod var/tarvo/updates/timestamp; do
    [ -f "$root/$f" ] || fail "$f was not installed"
done
grep -q "DESTDIR is set: the account '$user' is not looked up or created here" "$tmp/install.log" ||
    fail "the install does not say what it did about the account"
# The folders of the configuration: present, and writable by their owner only; the run folder,
# with the socket, closed to all but the daemon's group.
for d in run:750 updates:755 spool:750 log:750 infected:750; do
    mode=$(stat -c %a "$root/var/tarvo/${d%:*}") || fail "var/tarvo/${d%:*} was not created"
    [ "$mode" = "${d#*:}" ] || fail "var/tarvo/${d%:*} has mode $mode, not ${d#*:}"
done
stamp=$(cat "$root/var/tarvo/updates/timestamp")
[ $(($(date +%s) - stamp)) -lt 3600 ] || fail "the timestamp $stamp is not the time of the install"
grep -qx 'Socket = /var/tarvo/run/tarvod.sock 0660' "$config" || fail "the configuration sets no socket of mode 0660"
grep -qx 'PidFile = /var/tarvo/run/tarvod.pid' "$config" || fail "the configuration names another pid file"
left=$(grep -l '@[A-Z]*@' "$root$prefix/sbin/tarvod" "$root$prefix/bin/tarvo-scan" "$root/etc/logrotate.d/tarvod" \
    "$root$prefix"/share/man/man*/* || true)
[ -z "$left" ] || fail "templates left unfilled in $left"

# The unit: in the systemd folder or beside the sample, the same pid file and account as the
# configuration, a reload that checks first, and a restart after a failure.
unit=$root/etc/systemd/system/tarvod.service
[ -f "$unit" ] || unit=$root/etc/tarvo/tarvod.service
[ -f "$unit" ] || fail "tarvod.service was not installed"
for line in "Type=forking" "PIDFile=/var/tarvo/run/tarvod.pid" \
    "ExecStart=$prefix/sbin/tarvod -ini=/etc/tarvo/tarvo32.ini" \
    "ExecReload=$prefix/sbin/tarvod --check-only -ini=/etc/tarvo/tarvo32.ini" \
    "ExecReload=/bin/kill -HUP \$MAINPID" "KillSignal=SIGTERM" "Restart=on-failure" "User=$user" \
    "NoNewPrivileges=yes" "ProtectSystem=strict" "PrivateTmp=yes"; do
    grep -qxF "$line" "$unit" || fail "tarvod.service lacks '$line'"
done
for d in /var/tarvo/run /var/tarvo/spool /var/tarvo/log /var/tarvo/infected /var/tarvo/updates $prefix/lib/tarvo/bases; do
    grep -q "^ReadWritePaths=\(.* \)\{0,1\}-$d\( \|$\)" "$unit" || fail "tarvod.service keeps $d read-only"
done
# The exposure that systemd sees in it, for the account a plain install names.
if systemd-analyze security --help 2>/dev/null | grep -q -- --offline; then
    sed -e 's/^User=.*/User=tarvo/' -e 's/^Group=.*/Group=tarvo/' "$unit" >"$tmp/tarvod.service"
    exposure=$(systemd-analyze security --offline=yes "$tmp/tarvod.service" 2>/dev/null |
        sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
    [ -n "$exposure" ] || fail "systemd-analyze security gives no exposure for tarvod.service"
    awk -v e="$exposure" 'BEGIN { exit !(e <= 5.0) }' || fail "tarvod.service is exposed $exposure, above 5.0"
else
    note "systemd-analyze has no --offline: the unit's exposure was not measured"
fi

# The man pages render without a warning; logrotate, where there is one, reads its file.
if command -v man >/dev/null 2>&1; then
    for page in "$root$prefix"/share/man/man8/tarvod.8 "$root$prefix"/share/man/man5/tarvo32.ini.5; do
        warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l - <"$page" 2>&1 >"$tmp/page.txt") ||
            fail "man cannot render ${page##*/}: $warnings"
        [ -z "$warnings" ] || fail "${page##*/} renders with warnings: $warnings"
        grep -q 'SEE ALSO' "$tmp/page.txt" || fail "${page##*/} rendered to nothing"
    done
else
    note "man is missing: the man pages were not rendered"
fi
if command -v logrotate >/dev/null 2>&1; then
    sed "s|/var/tarvo/|$root/var/tarvo/|g" "$root/etc/logrotate.d/tarvod" >"$tmp/logrotate.conf"
    logrotate -d -s "$tmp/logrotate.state" "$tmp/logrotate.conf" >"$tmp/logrotate.log" 2>&1 ||
        { cat "$tmp/logrotate.log"; fail "logrotate does not take etc/logrotate.d/tarvod"; }
else
    note "logrotate is missing: its file was not read"
fi

# ---- The installed daemon -------------------------------------------------------------------
relocate_config "$root"
# An empty TempPath would send the daemon's temporary files to the system's own folder.
grep -qx "TempPath = $root/var/tarvo/spool" "$config" || fail "the configuration does not name its temporary folder"

check=$("$root$prefix/sbin/tarvod" -ini="$config" --check-only 2>&1) || fail "--check-only failed: $check"
case $check in
*"Options OK"*) ;;
*) fail "--check-only says: $check" ;;
esac
case $check in
*"renewal date"* | *"not up to date"*) fail "the bases' age was not read: $check" ;;
esac

start_daemon "$root"
mode=$(stat -c %a "$sock") || fail "no socket $sock"
[ "$mode" = 660 ] || fail "the socket has mode $mode, not 660"

mkdir "$tmp/samples"
printf 'Just a text file.\n' >"$tmp/samples/clean.txt"
# The standard anti-virus test file, put together here so that no file of the sources holds it.
# shellcheck disable=SC2016
printf '%s%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR' '-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' >"$tmp/samples/eicar.com"
scan "$tmp/samples/clean.txt"
[ "$status" = 0 ] || fail "tarvo-scan of a clean file exits $status: $answer"
echo "$answer" | grep -q 'clean.txt: clean$' || fail "the clean sample was not answered clean: $answer"
scan "$tmp/samples/clean.txt" "$tmp/samples/eicar.com"
[ "$status" = 1 ] || fail "tarvo-scan of an infected file exits $status: $answer"
echo "$answer" | grep -q 'eicar.com: infected$' || fail "the infected sample was not found: $answer"
grep -q 'eicar.com infected with EICAR-Test-File' "$root/var/tarvo/log/tarvo.log" ||
    fail "the log file of the installed configuration has no line of the scan"

# ---- The installed commands where i386 programs need the emulator ----------------------------
# A stand-in emulator that notes its call and runs the program as this machine can (under the
# build's emulator where it needs one).
mkdir "$tmp/stub" "$tmp/nobin"
cat >"$tmp/stub/qemu-i386" <<EOF
#!/bin/sh
echo "\$@" >>"$tmp/stub.log"
exec $emulator "\$@"
EOF
chmod +x "$tmp/stub/qemu-i386"
TARVO_EMULATOR=$tmp/stub/qemu-i386 "$root$prefix/bin/tarvo-scan" "$sock" "$tmp/samples/clean.txt" >/dev/null ||
    fail "tarvo-scan under TARVO_EMULATOR failed"
grep -q "lib/tarvo/tarvo-scan $sock " "$tmp/stub.log" || fail "tarvo-scan did not run under TARVO_EMULATOR"
if [ -z "$emulator" ]; then
    # The probe made an ARM program, which this kernel refuses as it would refuse i386 programs.
    probe=$root$prefix/lib/tarvo/i386-probe
    printf '\267\000' | dd of="$probe" bs=1 seek=18 conv=notrunc 2>/dev/null
    ! "$probe" 2>/dev/null || fail "the changed probe still runs"
    : >"$tmp/stub.log"
    PATH=$tmp/stub:$PATH "$root$prefix/bin/tarvo-scan" "$sock" "$tmp/samples/clean.txt" >/dev/null ||
        fail "tarvo-scan did not run under the emulator from PATH"
    [ -s "$tmp/stub.log" ] || fail "tarvo-scan ran without the emulator where the kernel refuses i386 programs"
    # Without any emulator: a plain word and the commands' error statuses.
    ln -s "$(command -v readlink)" "$(command -v dirname)" "$tmp/nobin/"
    for c in bin/tarvo-scan:2 sbin/tarvod:127; do
        status=0
        said=$(PATH=$tmp/nobin "$root$prefix/${c%:*}" "$sock" "$tmp/samples/clean.txt" 2>&1) || status=$?
        [ "$status" = "${c#*:}" ] || fail "${c%:*} without an emulator exits $status: $said"
        case $said in *"cannot run i386 programs"*"qemu-i386"*) ;; *) fail "${c%:*} without an emulator says: $said" ;; esac
    done
    cp "$build/tools/tarvo-i386-probe" "$probe"
else
    note "the build runs under $emulator: the kernel's refusal of i386 programs was not staged"
fi

# ---- The unit's reload ----------------------------------------------------------------------
# A typo that would end the daemon on SIGHUP: the check fails, and no signal is sent.
cp "$config" "$tmp/good.ini"
sed -i "s|^VirusBase = .*|VirusBase = $root$prefix/lib/tarvo/bses/*.vdb|" "$config"
before=$(reloads)
! unit_reload || fail "the unit's reload passed with a broken configuration: $(cat "$tmp/reload.log")"
grep -q 'Options ERROR' "$tmp/reload.log" || fail "the unit's reload did not check: $(cat "$tmp/reload.log")"
sleep 1
alive "$pid" || fail "the daemon did not survive the reload of a broken configuration"
[ "$(reloads)" = "$before" ] || fail "the daemon was signalled with a broken configuration"
# Mended, the check passes and the daemon reloads.
cp "$tmp/good.ini" "$config"
unit_reload || fail "the unit's reload failed: $(cat "$tmp/reload.log")"
i=0
while [ "$(reloads)" = "$before" ] && [ $i -lt 600 ]; do
    sleep 0.1
    i=$((i + 1))
done
[ "$(reloads)" != "$before" ] || fail "the daemon was not reloaded"
alive "$pid" || fail "the daemon ended on the reload"
scan "$tmp/samples/eicar.com"
[ "$status" = 1 ] || fail "after the reload, tarvo-scan exits $status: $answer"
stop_daemon || fail "the daemon did not stop on SIGTERM"

# ---- A second install changes nothing that exists -------------------------------------------
# What the administrator keeps: the edited configuration, a file in the quarantine, updated bases.
printf 'kept\n' >"$root/var/tarvo/infected/suspect.bin"
printf 'an update\n' >"$root$prefix/lib/tarvo/bases/trvtoday.vdb"
snapshot "$root" >"$tmp/before"
install_into "$root"
snapshot "$root" >"$tmp/after"
diff "$tmp/before" "$tmp/after" >&2 || fail "the second install changed what was there"

# ---- Uninstall ------------------------------------------------------------------------------
uninstall_from "$root"
left=$(cd "$root" && find . -type f | LC_ALL=C sort | tr '\n' ' ')
expected="./etc/tarvo/tarvo32.ini ./usr/local/lib/tarvo/bases/trvtoday.vdb ./var/tarvo/infected/suspect.bin ./var/tarvo/log/tarvo.log "
[ "$left" = "$expected" ] || fail "uninstall left '$left' instead of '$expected'"
for d in var/tarvo/run var/tarvo/updates var/tarvo/spool etc/systemd etc/logrotate.d usr/local/sbin usr/local/bin \
    usr/local/share; do
    [ ! -e "$root/$d" ] || fail "uninstall left $d, which it created and which is empty"
done
grep -q 'running' "$tmp/uninstall.log" && fail "uninstall of a stopped daemon says: $(cat "$tmp/uninstall.log")"

# An install nobody touched leaves nothing behind.
install_into "$tmp/fresh"
uninstall_from "$tmp/fresh"
left=$(cd "$tmp/fresh" && find . -mindepth 1 -print | tr '\n' ' ')
[ -z "$left" ] || fail "uninstall of an untouched install left $left"

# Uninstalling a running daemon says so, and what it leaves.
busy=$tmp/busy
install_into "$busy"
relocate_config "$busy"
start_daemon "$busy"
uninstall_from "$busy"
grep -q "tarvod is running (pid $pid" "$tmp/uninstall.log" || fail "uninstall does not say that tarvod runs: $(cat "$tmp/uninstall.log")"
grep -q "Left behind by the running tarvod (pid $pid): $busy/var/tarvo/run" "$tmp/uninstall.log" ||
    fail "uninstall does not say what it leaves: $(cat "$tmp/uninstall.log")"
[ -s "$busy/var/tarvo/run/tarvod.pid" ] || fail "uninstall removed the pid file of a running daemon"
stop_daemon || fail "the daemon did not stop on SIGTERM"
echo "PASS"
