#!/usr/bin/env bash
# Starts the installed program. Its working folder is
# $XDG_DATA_HOME/Quillory (~/.local/share/Quillory when XDG_DATA_HOME is
# unset; QUILLORY_HOME overrides it): that folder holds the scratch table
# LOOKUP.DBF and the window layout, and its data/ subfolder the three
# inventory tables (QUILLORY_DATA overrides it). A data folder without tables
# first gets the installation's empty tables from `qlyctl init`; the settings
# the first run needs (PATH, DATEFORMAT, CENTURY, Hints) are written into the
# settings file when they are absent, and values already there are kept.
set -euo pipefail
bin=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
program="$bin/../lib/quillory/quillory"
qlyctl="$bin/qlyctl"
xdg_data=${XDG_DATA_HOME:-$HOME/.local/share}
case "$xdg_data" in /*) ;; *) xdg_data=$HOME/.local/share ;; esac
home=${QUILLORY_HOME:-$xdg_data/Quillory}
data=${QUILLORY_DATA:-$home/data}

mkdir -p "$home"
shopt -s nocaseglob nullglob
existing=("$data"/[m]ain.dbf)
shopt -u nocaseglob nullglob
if [ ${#existing[@]} -eq 0 ]; then
    echo "Preparing the data folder $data:"
    "$qlyctl" init "$data"
fi

# The scratch table belongs in the working folder, not among the data.
shopt -s nocaseglob nullglob
lookup_home=("$home"/[l]ookup.dbf)
lookup_data=("$data"/[l]ookup.dbf)
shopt -u nocaseglob nullglob
if [ ${#lookup_home[@]} -eq 0 ]; then
    if [ ${#lookup_data[@]} -gt 0 ]; then
        mv "${lookup_data[0]}" "$home/LOOKUP.DBF"
    else
        scratch=$(mktemp -d)
        "$qlyctl" init "$scratch" > /dev/null
        mv "$scratch"/LOOKUP.DBF "$home/LOOKUP.DBF"
        rm -rf "$scratch"
    fi
    echo "created $home/LOOKUP.DBF"
fi

# The settings store: $XDG_CONFIG_HOME/KVR/QLY32.reg. Missing values are
# added with the first run's defaults (American dates, four-digit years,
# hints on); nothing already there is changed.
config=${XDG_CONFIG_HOME:-$HOME/.config}
case "$config" in /*) ;; *) config=$HOME/.config ;; esac
store="$config/KVR/QLY32.reg"
mkdir -p "$(dirname "$store")"
if [ ! -s "$store" ]; then
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\r\n' > "$store"
fi
add_value() {  # name, registry text of the value
    if ! grep -qi "^\"$1\"=" "$store"; then
        if ! grep -qi '^\[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32\]' "$store"; then
            printf '\r\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\r\n' >> "$store"
        fi
        # Values go at the end of the key's section.
        awk -v line="\"$1\"=$2" '
            BEGIN { inkey = 0; done = 0 }
            /^\[/ { if (inkey && !done) { print line "\r"; done = 1 }
                    inkey = (tolower($0) ~ /^\[hkey_current_user\\software\\kvr\\qly32\]/) }
            { print }
            END { if (!done) print line "\r" }' "$store" > "$store.tmp"
        mv "$store.tmp" "$store"
    fi
}
path_text=${data%/}/
path_text=${path_text//\\/\\\\}
add_value PATH "\"${path_text//\"/\\\"}\""
add_value DATEFORMAT dword:00000000
add_value CENTURY dword:00000001
add_value Hints dword:00000001

cd "$home"
exec "$program" "$@"
