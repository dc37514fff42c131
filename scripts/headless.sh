#!/usr/bin/env bash
# Runs Lumaret on a machine without a display: the window on a virtual X
# display (Xvfb), served by x11vnc on the loopback interface only, behind a
# fresh random password in a file only this user can read. The simulated
# module serves COM9 meanwhile. Ctrl+C (or SIGTERM, SIGHUP), or closing the
# window, stops all of it.
#
#   scripts/headless.sh SIMULATOR WINDOW
#
# run.sh calls it with the programs it built; the test of the headless run
# calls it with the same programs.
set -uo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 SIMULATOR WINDOW" >&2
    exit 2
fi
sim=$1
app=$2
FIRST_PORT=5900

say() { echo "lumaret: $*"; }
die() {
    echo "lumaret: $*" >&2
    exit 1
}

for tool in Xvfb:xvfb x11vnc:x11vnc xauth:xauth; do
    command -v "${tool%%:*}" >/dev/null ||
        die "${tool%%:*} is missing (Debian package ${tool##*:}); ./run.sh installs it as root"
done
for program in "$sim" "$app"; do
    [ -x "$program" ] || die "no program $program; build first (./run.sh does)"
done

# Everything of this run that others must not read: the password, the X
# cookie, the logs. Removed when the run ends.
umask 077
run_dir=$(mktemp -d "${XDG_RUNTIME_DIR:-/tmp}/lumaret-vnc.XXXXXX") ||
    die "cannot make a private folder in ${XDG_RUNTIME_DIR:-/tmp}"

pids=()
stopping=0

# True while the process lives and is not a zombie waiting for us.
alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}

# SIGTERM, and SIGKILL for whatever has not ended five seconds later.
stop_all() {
    local pid i
    [ "$stopping" = 1 ] && return
    stopping=1
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        for ((i = 0; i < 50; i++)); do
            alive "$pid" || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$run_dir"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The window first (it uses both the display and the port), the display last.
started() { pids=("$1" "${pids[@]}"); }

# A random text of n letters and digits.
random_text() {
    local text=""
    while [ ${#text} -lt "$1" ]; do
        text+=$(head -c 256 /dev/urandom | tr -dc 'A-Za-z0-9')
    done
    echo "${text:0:$1}"
}

show_log() {
    [ -s "$1" ] && tail -n 15 "$1" >&2
}

# The X display: any local client needs its cookie. The server takes every
# cookie of the file whatever display it names; clients look for their display's.
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
xauthority=$run_dir/Xauthority
: >"$xauthority"
xauth -q -f "$xauthority" add :0 . "$cookie" || die "cannot write $xauthority"

# -displayfd: Xvfb takes the first free display number and writes it when ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -auth "$xauthority" -noreset \
    3>"$run_dir/display" 2>"$run_dir/Xvfb.log" </dev/null &
xvfb_pid=$!
started "$xvfb_pid"
display=""
for ((i = 0; i < 200; i++)); do
    display=$(cat "$run_dir/display" 2>/dev/null)
    [ -n "$display" ] && break
    alive "$xvfb_pid" || break
    sleep 0.1
done
if [ -z "$display" ]; then
    show_log "$run_dir/Xvfb.log"
    die "the virtual display (Xvfb) did not start"
fi
display=:${display//[^0-9]/}
xauth -q -f "$xauthority" add "$display" . "$cookie" || die "cannot write $xauthority"

# The VNC password, kept as plain text for typing into a viewer; -passwdfile
# keeps it off the command line, where other users could read it.
password_file=$run_dir/passwd
random_text 8 >"$password_file"

# -localhost and -noipv6: only 127.0.0.1 listens. -autoport takes the first
# free port from 5900 on; x11vnc prints PORT=n once it listens. Another server
# may take the port between the probe and the listen: then try again.
port=""
for attempt in 1 2 3; do
    x11vnc -display "$display" -auth "$xauthority" -passwdfile "$password_file" \
        -localhost -noipv6 -autoport "$FIRST_PORT" -forever -shared -desktop Lumaret \
        -noremote -nocmds -nolookup -o "$run_dir/x11vnc.log" \
        >"$run_dir/x11vnc.out" 2>>"$run_dir/x11vnc.log" </dev/null &
    vnc_pid=$!
    started "$vnc_pid"
    for ((i = 0; i < 200; i++)); do
        port=$(sed -n 's/^PORT=\([0-9][0-9]*\)$/\1/p' "$run_dir/x11vnc.out" 2>/dev/null)
        [ -n "$port" ] && break
        alive "$vnc_pid" || break
        sleep 0.1
    done
    if [ -n "$port" ] && [ "$port" != 0 ] && alive "$vnc_pid"; then
        break
    fi
    port=""
    kill -KILL "$vnc_pid" 2>/dev/null
    wait "$vnc_pid" 2>/dev/null
    pids=("${pids[@]:1}")
done
if [ -z "$port" ]; then
    show_log "$run_dir/x11vnc.log"
    die "the VNC server (x11vnc) did not start"
fi

"$sim" --port COM9 </dev/null &
started "$!"

DISPLAY=$display XAUTHORITY=$xauthority QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY= \
    "$app" </dev/null &
app_pid=$!
started "$app_pid"

say "no display here: the window runs on the virtual display $display"
if [ "$port" = "$FIRST_PORT" ]; then
    say "VNC on localhost:$port only"
else
    say "VNC on localhost:$port only (port $FIRST_PORT is taken)"
fi
say "password in $password_file (only you can read it)"
say "from another machine: ssh -L $port:localhost:$port ${USER:-$(id -un)}@$(uname -n)"
say "  and point a VNC viewer at localhost:$port there"
say "Ctrl+C here, or closing the window, stops it all"

# Whichever ends first, the window, the VNC server or the display, ends the run.
wait -n "$app_pid" "$vnc_pid" "$xvfb_pid"
status=$?
alive "$vnc_pid" || say "the VNC server stopped"
alive "$xvfb_pid" || say "the virtual display stopped"
exit "$status"
