# Sourced by the scripts that need an X display of their own.
#
# start_own_display: Xvfb (1920 × 1080 × 24, no TCP) on a display number it
# picks itself and reports (-displayfd), so a server another program starts
# at the same moment can never take the number between a check and the
# start. Sets xvfb_pid and own_display (":N"); returns 1 when no number came
# within 30 s.
start_own_display() {
    local fifo number
    fifo="$(mktemp -u)"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    if ! read -r -t 30 number <"$fifo"; then
        rm -f "$fifo"
        return 1
    fi
    rm -f "$fifo"
    own_display=":$number"
}
