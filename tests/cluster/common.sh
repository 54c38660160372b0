# shellcheck shell=bash
# Shared by the cluster tests: a scratch directory removed on any exit, with the processes a
# test started stopped first; the README's recipes taken as written; skipping.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tagsift-cluster.XXXXXX") || exit 1
started=()
cleanup() {
    local pid
    for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${started[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Starts a command in the background, to be stopped at the end. Where setpriv can, the kernel
# also stops it should this script be killed outright (as by a test runner's time-out).
start() {
    if setpriv --pdeathsig TERM true 2>/dev/null; then
        setpriv --pdeathsig TERM "$@" &
    else
        "$@" &
    fi
    started+=("$!")
}

# Exit status 77: CTest's SKIP_RETURN_CODE for these tests.
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

# The fenced block that follows the line "<!-- recipe: NAME -->" in the README.
recipe() {
    local text
    text=$(awk -v marker="<!-- recipe: $1 -->" '
        $0 == marker { found = 1; next }
        found && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$readme")
    [ -n "$text" ] || fail "README.md has no recipe '$1'"
    printf '%s\n' "$text"
}

# Runs a recipe in the current directory with bash, as a user would paste it.
run_recipe() {
    local name=$1
    shift
    { echo "--- recipe $name:"; recipe "$name" | sed 's/^/    /'; } >&2
    timeout 300 bash -c "$(recipe "$name")" "$@"
}

# "1" when a status tells of failure, "0" when not: GNU parallel's status counts the jobs
# that failed, where one run says 1.
failed() { [ "$1" -eq 0 ] && echo 0 || echo 1; }

same() {  # same WHAT EXPECTED_FILE ACTUAL_FILE
    cmp -s "$2" "$3" && { echo "ok   $1"; return 0; }
    echo "FAIL $1:"
    diff "$2" "$3" | head -n 20
    return 1
}
