#!/usr/bin/env bash
# Checks the installed layout: `check_install.sh install BUILD` runs
# `cmake --install` into a scratch prefix and validates the desktop entry and
# metainfo; `check_install.sh package BUILD` builds the .deb with CPack,
# unpacks it with dpkg -x into a scratch root and checks its files and
# declared dependencies. Exit 77 = skipped (a tool is missing).
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
id=org.quillory.Quillory

check_tree() {  # root of an installed /usr
    local root=$1 missing=0
    for f in bin/quillory bin/qlyctl lib/quillory/quillory lib/quillory/help/index.html \
             share/applications/$id.desktop share/metainfo/$id.metainfo.xml; do
        if [ ! -e "$root/$f" ]; then echo "missing: $root/$f"; missing=1; fi
    done
    for n in 16 24 32 48 64 128 256; do
        local icon="$root/share/icons/hicolor/${n}x${n}/apps/$id.png"
        if [ ! -s "$icon" ]; then echo "missing: $icon"; missing=1; continue; fi
        # A PNG of the size its folder names.
        local size
        size=$(od -An -tu1 -j16 -N8 "$icon" | awk '{ print $3*256+$4 "x" $7*256+$8 }')
        if [ "$size" != "${n}x${n}" ]; then echo "$icon: is $size"; missing=1; fi
    done
    for f in bin/quillory bin/qlyctl lib/quillory/quillory; do
        if [ -e "$root/$f" ] && [ ! -x "$root/$f" ]; then echo "not executable: $f"; missing=1; fi
    done
    "$root/bin/qlyctl" --help > /dev/null || { echo "installed qlyctl does not run"; missing=1; }
    return $missing
}

case "$mode" in
install)
    cmake --install "$build" --prefix "$scratch/usr" > "$scratch/install.log" \
        || { cat "$scratch/install.log"; exit 1; }
    check_tree "$scratch/usr"
    skipped=""
    if command -v desktop-file-validate > /dev/null; then
        desktop-file-validate "$scratch/usr/share/applications/$id.desktop"
    else
        skipped+=" desktop-file-validate"
    fi
    if command -v appstreamcli > /dev/null; then
        appstreamcli validate --no-net --pedantic "$scratch/usr/share/metainfo/$id.metainfo.xml" \
            || appstreamcli validate --no-net "$scratch/usr/share/metainfo/$id.metainfo.xml"
    else
        skipped+=" appstreamcli"
    fi
    # The launcher prepares an empty working folder as `make run` does.
    export HOME="$scratch/home" XDG_DATA_HOME="$scratch/xdg" XDG_CONFIG_HOME="$scratch/config"
    mkdir -p "$HOME"
    sed 's|^exec "$program" "$@"$|echo started|' "$scratch/usr/bin/quillory" > "$scratch/usr/bin/quillory-dry"
    bash "$scratch/usr/bin/quillory-dry" > "$scratch/launch.log"
    for f in Quillory/LOOKUP.DBF Quillory/data/MAIN.DBF Quillory/data/MANUFACT.DBF Quillory/data/Location.dbf; do
        [ -e "$XDG_DATA_HOME/$f" ] || { echo "launcher did not make $f"; cat "$scratch/launch.log"; exit 1; }
    done
    [ ! -e "$XDG_DATA_HOME/Quillory/data/LOOKUP.DBF" ] || { echo "LOOKUP.DBF left among the data"; exit 1; }
    grep -q "\"PATH\"=\"$XDG_DATA_HOME/Quillory/data/\"" "$XDG_CONFIG_HOME/KVR/QLY32.reg" \
        || { echo "PATH not set"; cat "$XDG_CONFIG_HOME/KVR/QLY32.reg"; exit 1; }
    if [ -n "$skipped" ]; then
        echo "not installed, so not run:$skipped (install desktop-file-utils / appstream)"
        exit 77
    fi
    ;;
package)
    command -v dpkg-deb > /dev/null || { echo "dpkg-deb is not installed"; exit 77; }
    (cd "$build" && cpack -G DEB -B "$scratch/out" > "$scratch/cpack.log" 2>&1) \
        || { cat "$scratch/cpack.log"; exit 1; }
    deb=$(ls "$scratch"/out/quillory_*.deb)
    dpkg-deb -f "$deb" Package Version Architecture Depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for d in libqt6widgets6 libqt6gui6 libqt6core6 zlib1g qt6-qpa-plugins; do
        case "$depends" in *"$d"*) ;; *) echo "Depends lacks $d: $depends"; exit 1 ;; esac
    done
    dpkg -x "$deb" "$scratch/root"
    check_tree "$scratch/root/usr"
    ;;
*)
    echo "usage: check_install.sh install|package BUILD" >&2
    exit 2
    ;;
esac
