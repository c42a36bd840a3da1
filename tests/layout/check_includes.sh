#!/usr/bin/env bash
# The rooms' layering: app/ assembles the program, so no other room includes it, and
# the module link knows nothing of the network. Prints every include that breaks it.
set -u
cd "$1" || exit 2
status=0
check() {  # check FOLDERS... -- PATTERN REASON
    local folders=() pattern reason
    while [ "$1" != "--" ]; do folders+=("$1"); shift; done
    pattern=$2 reason=$3
    local hits
    hits=$(grep -rn -E "^#include \"$pattern" "${folders[@]}" 2>/dev/null)
    if [ -n "$hits" ]; then
        echo "$reason:"
        echo "$hits"
        status=1
    fi
}
rooms=()
for d in */; do
    d=${d%/}
    case $d in app|tests|build*|packaging|scripts|cmake) ;; *) rooms+=("$d") ;; esac
done
check "${rooms[@]}" -- 'app/' "only the program itself includes app/"
check device -- 'net/' "the module link does not know the network"
exit $status
