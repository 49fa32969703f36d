# Shared by the scripts that run Zorvane against the sandbox (sourced, not
# run). They give the program a settings folder and a program folder of its
# own under $run, so the user's own settings and lists are never touched.

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# Lays out $run (program, config, data, mail), starts build/zorvane-sandbox
# on free ports and sets sandbox_pid, site (http://127.0.0.1:PORT/) and
# smtp_port. Arguments: the build folder, the run folder, then any further
# options for the sandbox.
start_sandbox() {
    local build=$1 run=$2
    shift 2
    mkdir -p "$run/program" "$run/config/Zorvane" "$run/data" "$run/mail"
    cp "$build/zorvane" "$run/program/"
    cp "$build/help.html" "$run/program/" 2>/dev/null || true
    : >"$run/sandbox.log"   # there for the first look, before the sandbox writes to it
    "$build/zorvane-sandbox" --site-port 0 --smtp-port 0 --mail-dir "$run/mail" "$@" >"$run/sandbox.log" 2>&1 &
    sandbox_pid=$!
    if ! wait_for 15 grep -q '^smtp: ' "$run/sandbox.log"; then
        cat "$run/sandbox.log" >&2
        echo "Zorvane: the sandbox did not start." >&2
        return 1
    fi
    site=$(sed -n 's/^site: \(http.*\)$/\1/p' "$run/sandbox.log" | head -n 1)
    smtp_port=$(sed -n 's/^smtp: .*:\([0-9]*\)$/\1/p' "$run/sandbox.log" | head -n 1)
}

# Writes the program's settings: sender and server, every address pointing
# at the sandbox. Arguments: the run folder, the maker's host, and optionally
# the length of the program's minute in milliseconds.
write_sandbox_settings() {
    local run=$1 maker=$2 minute_ms=${3:-}
    {
        printf '[Main]\nFromAddress=zorvane@sandbox.test\nSMTP=127.0.0.1\n\n'
        printf '[Network]\nListingHost=%s\nItemHost=%s\nMakerHost=%s\nClickThroughPrefix=%sgo?loc=\nSmtpPort=%s\n' \
            "$site" "$site" "$maker" "$site" "$smtp_port"
        [[ -z $minute_ms ]] || printf '\n[Testing]\nMinuteMilliseconds=%s\n' "$minute_ms"
    } >"$run/config/Zorvane/Zorvane.conf"
}
