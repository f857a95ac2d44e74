#!/bin/sh
# Starts Kestrova from its program folder, with the program folder as working folder.
here=$(dirname "$(readlink -f "$0")")
folder="$here/../lib/kestrova"
cd "$folder" || exit 1
exec ./Kestrova "$@"
