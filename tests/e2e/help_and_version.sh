#!/usr/bin/env bash
# --help and --version of the tool and the command-line tool print on standard output,
# say nothing on standard error and exit 0, with a display and without one.
set -u
qv450=$1 cli=$2
status=0
check() {  # check EXPECTED-START COMMAND...
    local expected=$1 out err rc
    shift
    out=$(mktemp) err=$(mktemp)
    "$@" >"$out" 2>"$err"
    rc=$?
    if [ $rc -ne 0 ] || [ -s "$err" ] || ! head -c ${#expected} "$out" | grep -qxF "$expected"; then
        echo "FAILED: $* (DISPLAY=${DISPLAY:-}): status $rc, output: $(head -c 200 "$out"), errors: $(head -c 200 "$err")"
        status=1
    fi
    rm -f "$out" "$err"
}
version=$("$cli" --version | cut -d' ' -f2)
for display in "${DISPLAY:-}" ""; do
    export DISPLAY=$display
    [ -n "$display" ] || unset DISPLAY
    check "usage: qv450" "$qv450" --help
    check "usage: qv450" "$qv450" --lang de -h
    check "qv450 $version" "$qv450" --version
    check "qv450-cli $version" "$cli" --version
    check "qv450-cli $version" "$cli" --local --version
    check "usage: qv450-cli" "$cli" --help
done
[ -n "$version" ] || { echo "FAILED: no version"; status=1; }
[ $status -eq 0 ] && echo "help and version: passed"
exit $status
