#!/usr/bin/env bash
# Starts what the build made. A data folder without tables first gets the
# installation's empty tables from `qlyctl init` (QUILLORY_DATA overrides the
# folder). The program starts in that folder, where it finds LOOKUP.DBF; set
# the same folder as the data path in Preferences.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
data=${QUILLORY_DATA:-$HOME/.local/share/Quillory/data}
qlyctl="$build/src/cli/qlyctl"

shopt -s nocaseglob nullglob
existing=("$data"/[m]ain.dbf)
shopt -u nocaseglob nullglob
if [ ${#existing[@]} -eq 0 ]; then
    echo "Preparing the data folder $data:"
    "$qlyctl" init "$data"
fi

if [ -x "$build/src/app/quillory" ]; then
    cd "$data"
    exec "$build/src/app/quillory"
fi
"$qlyctl" --help
