#!/usr/bin/env bash
# The rooms' floors: a room includes only rooms on floors below its own (and itself).
# One line a floor, from the bottom; rooms on one line do not include each other. The
# README's source-layout table lists the same order. Prints every include against it,
# and every folder of code the list does not place.
set -u
cd "$1" || exit 2
floors=(
    "platform"
    "text relay"
    "device serial"
    "sim"
    "settings gadget"
    "i18n"
    "ui"
    "files"
    "connection diag"
    "firmware"
    "config"
    "net"
    "operator"
    "app cli"
)
# Rooms without the toolkit (the command-line tool links their libraries; the relay
# server and the USB gadget are programs of their own); platform/'s headers too (its
# display library alone uses GDK).
gtk_free="text relay device serial sim settings gadget i18n connection operator cli"
declare -A floor_of
for i in "${!floors[@]}"; do
    for room in ${floors[$i]}; do floor_of[$room]=$i; done
done
status=0
for d in */; do
    d=${d%/}
    case $d in tests|build*|packaging|scripts|cmake|Testing) continue ;; esac
    if [ -z "$(find "$d" -name '*.cpp' -o -name '*.h' | head -n 1)" ]; then continue; fi
    if [ -z "${floor_of[$d]+set}" ]; then
        echo "$d/ has no floor: add it to tests/layout/check_includes.sh and the README"
        status=1
    fi
done
while IFS=: read -r file line text; do
    room=${file%%/*}
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
    [ "$target" = "$room" ] && continue
    [ -z "${floor_of[$room]+set}" ] && continue
    if [ -z "${floor_of[$target]+set}" ]; then
        [ -d "$target" ] || continue  # not a room: a path of the system's own headers
        echo "$file:$line: $room/ includes $target/, which has no floor"
        status=1
    elif [ "${floor_of[$target]}" -ge "${floor_of[$room]}" ]; then
        echo "$file:$line: $room/ (floor $((floor_of[$room] + 1))) includes $target/ (floor $((floor_of[$target] + 1))), which is not below it"
        status=1
    fi
done < <(grep -rn -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' --include='*.cpp' --include='*.h' \
             "${!floor_of[@]}" 2>/dev/null)
while IFS= read -r hit; do
    echo "$hit: a GTK-free room includes the toolkit"
    status=1
done < <(grep -rn -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(gtk|gdk|glib)' --include='*.cpp' --include='*.h' \
             $gtk_free 2>/dev/null; grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(gtk|gdk|glib)' \
             /dev/null platform/*.h)
exit $status
