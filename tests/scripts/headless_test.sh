#!/usr/bin/env bash
# The window served without a display (scripts/headless.sh, as run.sh starts
# it): it must listen on the loopback interface only, refuse an RFB client
# without the password, take the next port when one is taken, and leave no
# process behind once stopped by a signal or by the window's end.
#
#   headless_test.sh HEADLESS_SCRIPT SIMULATOR WINDOW
#
# Exits 77 (skipped) where the packages of the headless run are missing.
set -uo pipefail
set -m # each run in a process group of its own, with SIGINT not ignored

helper=$1
sim=$2
app=$3

for tool in Xvfb x11vnc xauth ss xwininfo dd od; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

work=$(mktemp -d /tmp/lumaret-headless-test.XXXXXX)
failures=0
declare -A run_pid run_out run_token

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Every process still running with this run's token in its environment.
processes_of() {
    local environ pid
    for environ in $(grep -lzx "LUMARET_HEADLESS_RUN=$1" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        echo "$pid $(cat "/proc/$pid/comm" 2>/dev/null)"
    done
}

cleanup() {
    local name
    for name in "${!run_pid[@]}"; do
        kill -KILL -- "-${run_pid[$name]}" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 seconds for the command after it to succeed.
await() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

start_run() {
    local name=$1
    mkdir -m 700 "$work/$name"
    run_token[$name]=$name-$$-$RANDOM
    run_out[$name]=$work/$name.out
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/$name" \
        LUMARET_HEADLESS_RUN="${run_token[$name]}" \
        bash "$helper" "$sim" "$app" >"${run_out[$name]}" 2>&1 </dev/null &
    run_pid[$name]=$!
}

announced() { grep -q 'stops it all' "${run_out[$1]}" || ! kill -0 "${run_pid[$1]}" 2>/dev/null; }
port_of() { sed -n 's/.*VNC on localhost:\([0-9]*\) only.*/\1/p' "${run_out[$1]}"; }
display_of() { sed -n 's/.*virtual display \(:[0-9]*\)$/\1/p' "${run_out[$1]}"; }
password_file_of() { sed -n 's/.*password in \(.*\) (only you can read it)$/\1/p' "${run_out[$1]}"; }

window_shown() {
    DISPLAY=$(display_of "$1") XAUTHORITY="$(dirname "$(password_file_of "$1")")/Xauthority" \
        xwininfo -root -tree 2>/dev/null | grep -q '"Lumaret V'
}

# Every listening socket of the run's processes, as "address:port pid".
listeners_of() {
    local pids
    pids=$(processes_of "$1" | cut -d' ' -f1 | paste -sd'|')
    [ -n "$pids" ] || return 0
    ss -Hltunp | grep -E "pid=($pids)," | awk '{ print $5 }'
}

# An RFB 3.8 client that has no password: the security types the server
# offers, then the result of a wrong VNC-authentication answer.
rfb_without_password() {
    local port=$1 version count types result
    exec 4<>"/dev/tcp/127.0.0.1/$port" || return 1
    read -r -t 10 version <&4
    echo "version $version"
    printf 'RFB 003.008\n' >&4
    count=$(timeout 10 dd bs=1 count=1 status=none <&4 | od -An -tu1 | tr -d ' ')
    types=$(timeout 10 dd bs=1 count="${count:-0}" status=none <&4 | od -An -tu1)
    echo "types" $types
    if [[ " $types " == *" 2 "* ]]; then
        printf '\002' >&4
        timeout 10 dd bs=16 count=1 iflag=fullblock status=none <&4 >/dev/null
        head -c 16 /dev/zero >&4
        result=$(timeout 10 dd bs=4 count=1 iflag=fullblock status=none <&4 | od -An -tu1)
        echo "result" $result
    fi
    exec 4<&-
}

# The older handshake, where the server picks the type itself.
rfb33_type() {
    local version
    exec 4<>"/dev/tcp/127.0.0.1/$1" || return 1
    read -r -t 10 version <&4
    printf 'RFB 003.003\n' >&4
    timeout 10 dd bs=4 count=1 iflag=fullblock status=none <&4 | od -An -tu1 | tr -s ' ' | sed 's/^ //'
    exec 4<&-
}

# Two runs at once: the second finds the first one's port taken.
start_run first
await 60 announced first || fail "the first run did not announce its VNC server"
start_run second
await 60 announced second || fail "the second run did not announce its VNC server"
for name in first second; do
    kill -0 "${run_pid[$name]}" 2>/dev/null || {
        cat "${run_out[$name]}"
        fail "the $name run ended early"
        exit 1
    }
done
cat "${run_out[first]}"

first_port=$(port_of first)
second_port=$(port_of second)
[ -n "$first_port" ] && [ -n "$second_port" ] || fail "no port announced"
[ "$first_port" != "$second_port" ] || fail "both runs announce port $first_port"
for name in first second; do
    port=$(port_of "$name")
    if [ "$port" != 5900 ] && ! grep -q "port 5900 is taken" "${run_out[$name]}"; then
        fail "the $name run took port $port without saying that 5900 is taken"
    fi
    grep -q "ssh -L $port:localhost:$port " "${run_out[$name]}" ||
        fail "the $name run gives no ssh line for port $port"
done

# All four programs run, and the window is on the virtual display.
for name in first second; do
    running=$(processes_of "${run_token[$name]}")
    for program in Xvfb x11vnc lumaret-sim lumaret; do
        grep -q " $program$" <<<"$running" || fail "the $name run has no $program"
    done
    await 30 window_shown "$name" || fail "the $name run shows no window on its display"
done

# Nothing of either run listens beyond the loopback interface.
for name in first second; do
    listening=$(listeners_of "${run_token[$name]}")
    echo "$name run listens on:" $listening
    echo "$listening" | grep -qx "127.0.0.1:$(port_of "$name")" ||
        fail "the $name run's VNC server is not on 127.0.0.1:$(port_of "$name")"
    for address in $listening; do
        case $address in
        127.*:* | '[::1]:'* | '[::ffff:127.'*) ;;
        *) fail "the $name run listens on $address" ;;
        esac
    done
done
for port in "$first_port" "$second_port"; do
    for address in $(ss -Hltn "sport = :$port" | awk '{ print $4 }'); do
        [[ $address == 127.* ]] || fail "something listens on $address"
    done
done

# The password file is the user's alone.
password_file=$(password_file_of first)
[ "$(stat -c '%a %u' "$password_file" 2>/dev/null)" = "600 $(id -u)" ] ||
    fail "password file $password_file is not of mode 600 and ours"
[ "$(tr -d '\n' <"$password_file" | wc -c)" -ge 8 ] || fail "the password is shorter than 8"

# An RFB client without the password gets nowhere.
answer=$(rfb_without_password "$first_port")
echo "$answer"
grep -q '^version RFB 003\.' <<<"$answer" || fail "no RFB server on port $first_port"
grep -qE '^types( [0-9]+)* 2( |$)' <<<"$answer" || fail "VNC authentication is not offered"
grep -qE '^types( [0-9]+)* 1( |$)' <<<"$answer" && fail "security type None is offered"
grep -qE '^result 0 0 0 [1-9]' <<<"$answer" || fail "a wrong password answer was not refused"
type33=$(rfb33_type "$first_port")
[ "$type33" = "0 0 0 2" ] || fail "an RFB 3.3 client gets security type '$type33', not 2"

# Stopped by Ctrl+C, and by the window's end: nothing of either run is left.
kill -INT "${run_pid[first]}"
app_pid=$(processes_of "${run_token[second]}" | awk '$2 == "lumaret" { print $1 }')
kill -TERM "$app_pid"
gone() { ! kill -0 "${run_pid[$1]}" 2>/dev/null && [ -z "$(processes_of "${run_token[$1]}")" ]; }
for name in first second; do
    if ! await 30 gone "$name"; then
        fail "the $name run left:" $(processes_of "${run_token[$name]}")
        kill -KILL -- "-${run_pid[$name]}" 2>/dev/null
    fi
    wait "${run_pid[$name]}" 2>/dev/null
    [ -z "$(ls "$work/$name/lumaret/ports" 2>/dev/null)" ] || fail "the $name run left its COM9"
    ls -d "$work/$name"/lumaret-vnc.* >/dev/null 2>&1 && fail "the $name run left its password"
    tail -n 3 "${run_out[$name]}"
done
unset 'run_pid[first]' 'run_pid[second]'

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "headless run: all checks passed"
