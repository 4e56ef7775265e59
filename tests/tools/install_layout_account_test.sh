#!/bin/sh
# install_layout_account_test.sh INSTALL_LAYOUT: what tools/install-layout decides about the daemon's
# account, with getent, id and useradd replaced by stubs that record their calls (nothing on this
# machine is looked up or changed).
set -eu

layout=$1
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tarvo-account.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
stubs=$tmp/bin
mkdir "$stubs"
# getent passwd|group NAME: found when NAME is listed in STUB_PASSWD or STUB_GROUP, else status 2.
cat >"$stubs/getent" <<'EOF'
#!/bin/sh
echo "getent $*" >>"$STUB_LOG"
case $1 in passwd) known=$STUB_PASSWD ;; group) known=$STUB_GROUP ;; *) exit 1 ;; esac
case " $known " in *" $2 "*) echo "$2:x:999:999::/nonexistent:/usr/sbin/nologin"; exit 0 ;; esac
exit 2
EOF
cat >"$stubs/id" <<'EOF'
#!/bin/sh
[ "$1" = -u ] && echo "$STUB_UID"
EOF
cat >"$stubs/useradd" <<'EOF'
#!/bin/sh
echo "useradd $*" >>"$STUB_LOG"
exit "${STUB_USERADD_STATUS:-0}"
EOF
chmod +x "$stubs/getent" "$stubs/id" "$stubs/useradd"

failures=0
# check CASE DESTDIR UID PASSWD GROUP USERADD_STATUS RC SAYS USERADD OWNER: runs "account tarvo" with
# the stubs set so and checks its exit status RC, that its output holds SAYS, that useradd was called
# with arguments beginning with USERADD (not at all for "-"), and that new folders go to OWNER.
check() {
    name=$1 destdir=$2 uid=$3 passwd=$4 group=$5 status=$6 want_rc=$7 says=$8 useradd=$9
    shift 9
    owner=$1
    : >"$tmp/log"
    rc=0
    out=$(PATH="$stubs:$PATH" STUB_LOG=$tmp/log STUB_UID=$uid STUB_PASSWD=$passwd STUB_GROUP=$group \
        STUB_USERADD_STATUS=$status DESTDIR=$destdir sh "$layout" account tarvo 2>&1) || rc=$?
    called=$(grep '^useradd ' "$tmp/log" || true)
    problem=
    [ "$rc" = "$want_rc" ] || problem="exit status $rc, not $want_rc"
    case $out in *"$says"*) ;; *) problem="$problem; does not say '$says'" ;; esac
    if [ "$useradd" = - ]; then
        [ -z "$called" ] || problem="$problem; called $called"
    else
        case $called in "useradd $useradd "*) ;; *) problem="$problem; called '$called', not 'useradd $useradd ...'" ;; esac
    fi
    if [ "$want_rc" = 0 ]; then
        case $out in *"New folders go to: $owner"*) ;; *) problem="$problem; new folders do not go to $owner" ;; esac
    fi
    if [ -n "$problem" ]; then
        echo "FAIL $name:$problem" >&2
        echo "$out" | sed 's/^/    /' >&2
        failures=$((failures + 1))
    fi
}

created="--system --user-group --no-create-home --home-dir /nonexistent"
joined="--system --gid tarvo --no-create-home --home-dir /nonexistent"
#     case                              DESTDIR  uid  passwd group status rc says / useradd / owner
check "DESTDIR set, account missing"    /stage   0    ""     ""    0      0  "DESTDIR is set: the account 'tarvo' is not looked up or created" - "the installer"
check "DESTDIR set, account exists"     /stage   0    tarvo  tarvo 0      0  "DESTDIR is set" - "the installer"
check "account exists, as root"         ""       0    "tarvo" ""   0      0  "The account 'tarvo' exists: left as it is" - tarvo
check "account exists, not root"        ""       1000 tarvo  tarvo 0      0  "exists: left as it is" - "the installer"
check "account missing, as root"        ""       0    ""     ""    0      0  "Created the system account 'tarvo'" "$created" tarvo
check "account missing, group exists"   ""       0    ""     tarvo 0      0  "Created the system account 'tarvo'" "$joined" tarvo
check "account missing, not root"       ""       1000 ""     ""    0      0  "only root can create it" - "the installer"
check "account missing, useradd fails"  ""       0    ""     ""    9      1  "could not create the account 'tarvo'" "$created" -

# The arguments of a creation, whole: no login shell, no home, one of the system's nologin shells.
: >"$tmp/log"
PATH="$stubs:$PATH" STUB_LOG=$tmp/log STUB_UID=0 STUB_PASSWD='' STUB_GROUP='' DESTDIR='' \
    sh "$layout" account tarvo >/dev/null
case $(grep '^useradd ' "$tmp/log") in
"useradd $created --shell "*/nologin" --comment tarvod scanning daemon tarvo" | \
    "useradd $created --shell /bin/false --comment tarvod scanning daemon tarvo") ;;
*)
    echo "FAIL the creation's arguments: $(cat "$tmp/log")" >&2
    failures=$((failures + 1))
    ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo PASS
