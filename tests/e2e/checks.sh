# Sourced by the end-to-end scripts: named checks that are counted, so that a script runs all
# of them and ends with how many failed.
passed=0 failed=0
check() { # check WHAT COMMAND...
    if "${@:2}"; then
        echo "ok: $1" && passed=$((passed + 1))
    else
        echo "FAILED: $1" >&2 && failed=$((failed + 1))
    fi
}
