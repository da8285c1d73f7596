# The shell tests' checks, sourced once $work (the test's scratch folder) is
# made. Each prints "ok: WHAT", or "FAILED: WHAT" with what the command
# printed, and counts the failures in $failures, which the test exits with.
failures=0

# fail WHAT: a failed check, with $work/out, the last command's output
fail() {
    echo "FAILED: $1"
    [ -f "$work/out" ] && sed 's/^/  | /' "$work/out"
    failures=$((failures + 1))
}

# check WHAT COMMAND...: the command must succeed
check() {
    local what=$1; shift
    if "$@" >"$work/out" 2>&1; then echo "ok: $what"; else fail "$what"; fi
}

# shows WHAT TEXT COMMAND...: the command must succeed and print TEXT
shows() {
    local what=$1 text=$2; shift 2
    if "$@" >"$work/out" 2>&1 && grep -qF -- "$text" "$work/out"; then echo "ok: $what"; else fail "$what"; fi
}
