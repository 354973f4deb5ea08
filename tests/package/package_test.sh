#!/bin/bash
# package_test.sh -- the Debian package as a user gets it: built by cpack from this
# build folder and unpacked with dpkg-deb into a temporary root (never installed here).
#   package_test.sh build    BINARY_DIR             build the package, unpack it
#   package_test.sh layout   BINARY_DIR SOURCE_DIR  files where the menu entry, the
#                                                   launcher and the manual pages say;
#                                                   the README's "Your own data" runs
#   package_test.sh launcher BINARY_DIR             start the unpacked launcher
#   package_test.sh clean    BINARY_DIR
# The launcher runs on X servers of its own, one per start, so that no window of a
# test running beside it, and no picture a closed window left, spoils the screenshot.
set -euo pipefail

step=$1
work=$2/package-test
root=$work/root
share=$root/usr/share/tallymap

fail() { echo "FAIL: $*" >&2; exit 1; }

build() {
    rm -rf "$work" && mkdir -p "$work"
    (cd "$2" && cpack -G DEB -B "$work/cpack") > "$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; fail "cpack"; }
    mv "$work"/cpack/tallymap_*_amd64.deb "$work/"
    dpkg-deb -x "$work"/tallymap_*_amd64.deb "$root"
}

# The first census values of a file, worked out from its bytes by od, not by cellprint.
census_head() { od -An -v -tf4 -N"$((4 * $2))" "$1" | tr -s ' ' '\n' | awk 'NF { printf "%f\n", $1 }'; }

layout() {
    local source=$3 entry=$root/usr/share/applications/tallymap.desktop
    lintian --fail-on error,warning "$work"/tallymap_*_amd64.deb || fail "lintian"
    [ -z "$(desktop-file-validate "$entry")" ] || fail "desktop-file-validate: $(desktop-file-validate "$entry")"

    # The menu entry's command and icon, every size the icon theme asks for.
    [ -x "$root/usr/bin/$(sed -n 's/^Exec=//p' "$entry")" ] || fail "Exec of the menu entry"
    local icon size
    icon=$(sed -n 's/^Icon=//p' "$entry")
    for size in 16 22 24 32 48 64 128 256; do
        [ "$(identify -format %wx%h "$root/usr/share/icons/hicolor/${size}x$size/apps/$icon.png")" = "${size}x$size" ] ||
            fail "icon $icon at ${size}x$size"
    done

    # Every program has its manual page; every installed path a page names is there.
    local program page path
    for program in "$root"/usr/bin/*; do
        [ -f "$root/usr/share/man/man1/${program##*/}.1.gz" ] || fail "no manual page for ${program##*/}"
    done
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        for path in $(zcat "$page" | grep -o '/usr/[^ ]*' | grep -v '^/usr/local/'); do
            [ -e "$root$path" ] || fail "${page##*/} names $path, which the package lacks"
        done
        for path in $(zcat "$page" | sed -n 's/^\.IR\{0,1\} \(data\/[^ ]*\).*/\1/p'); do
            [ -e "$share/$path" ] || fail "${page##*/} names $path, which the sample data lacks"
        done
    done

    # The sample data arrived whole, and the unpacked cellprint reads it.
    diff -r -x '.git*' "$source/data" "$share/data" || fail "sample data differs"
    diff -r -x '.git*' "$source/examples" "$share/examples" || fail "examples differ"
    local zc=$share/data/zips/77002.zc dump
    dump=$("$root/usr/bin/cellprint" "$zc")
    [ "$(echo "$dump" | wc -l)" -eq 322 ] || fail "cellprint printed $(echo "$dump" | wc -l) lines"
    [ "$(echo "$dump" | head -n 5)" = "$(census_head "$zc" 5)" ] || fail "cellprint's population series"

    # The README's "Your own data" as written, with the unpacked programs and sample.
    rm -rf "$work/readme-home" && mkdir -p "$work/readme-home"
    "$source/tests/tallydata/readme_own_data.sh" "$source/README.md" "$root/usr/bin" "$share" "$work/readme-home" \
        >"$work/readme.log" 2>&1 || { tail -n 20 "$work/readme.log"; fail "the README's Your own data"; }
}

# Share of the screen within 3% of colour $2 in screenshot $1, from 0 to 1.
share_of() { convert "$1" -fuzz 3% -fill '#00ff00' -opaque "$2" -fill black +opaque '#00ff00' -format '%[fx:mean.g]' info:; }
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

# start FOLDER HOME COLOUR: starts the unpacked launcher from FOLDER on a fresh X
# server and waits until the viewer's first frame covers a fifth of the screen with
# COLOUR (the base map's). Fails on a message box with one of the viewer's error
# captions, a message from the launcher, or no such frame within 60 s. Leaves the
# viewer's working directory in $cwd.
start() {
    local folder=$1 colour=$3 name=${1##*/} xvfb viewer i
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/$name.display" 2>/dev/null &
    xvfb=$!
    for i in $(seq 100); do [ -s "$work/$name.display" ] && break; sleep 0.2; done
    export DISPLAY=:$(cat "$work/$name.display")
    mkdir -p -m 700 "$work/runtime"
    (cd "$folder" && HOME=$2 XDG_RUNTIME_DIR=$work/runtime exec "$root/usr/bin/tallymap") \
        2>"$work/$name.err" &
    viewer=$!
    trap 'kill $viewer $xvfb 2>/dev/null' EXIT
    for i in $(seq 120); do
        if xdotool search --all --pid "$viewer" --name '^(ERROR!?|Error)$' >/dev/null; then
            import -window root "$work/$name.png"; fail "$name: an error message (see $work/$name.png)"
        fi
        import -window root "$work/$name.png"
        at_least "$(share_of "$work/$name.png" "$colour")" 0.2 && break
        [ "$i" -lt 120 ] || fail "$name: no frame with the map (see $work/$name.png)"
        sleep 0.5
    done
    cwd=$(readlink "/proc/$viewer/cwd")
    ! grep '^tallymap:' "$work/$name.err" || fail "$name: the launcher complained"
    kill "$viewer" "$xvfb"; wait "$viewer" "$xvfb" 2>/dev/null || true
    trap - EXIT
}

launcher() {
    local empty=$work/empty own=$work/own home=$work/home other_home=$work/other-home
    rm -rf "$empty" "$own" "$home" "$other_home"
    mkdir -p "$empty" "$home" "$other_home" "$own/data/ui" "$own/data/maps"

    # From a folder without data: ~/Tallymap is made, linked to the unpacked sample data.
    start "$empty" "$home" '#F2EFE6'
    [ "$cwd" = "$home/Tallymap" ] || fail "ran in $cwd, not in ~/Tallymap"
    [ "$(readlink -f "$home/Tallymap/data")" = "$(readlink -f "$share/data")" ] || fail "data link"
    [ "$(readlink -f "$home/Tallymap/examples")" = "$(readlink -f "$share/examples")" ] || fail "examples link"

    # From a folder with its own data: that folder and its own (magenta) map.
    cp "$share/data/ui/fields.ui" "$own/data/ui/"
    convert -size 64x64 xc:'#c03090' -type truecolor BMP3:"$own/data/maps/basemap.bmp"
    start "$own" "$other_home" '#c03090'
    [ "$cwd" = "$own" ] || fail "ran in $cwd, not in the folder with its own data"
    [ ! -e "$other_home/Tallymap" ] || fail "made ~/Tallymap although the folder had data"

    # A link left pointing nowhere (Tallymap moved) is made again; the user's files stay.
    # No display is needed for that: the launcher has done its work when the viewer
    # refuses to start, and the viewer's one line and status come through.
    rm "$home/Tallymap/data" && ln -s /nonexistent "$home/Tallymap/data"
    echo mine > "$home/Tallymap/notes.txt"
    local said status=0
    said=$(cd "$empty" && HOME=$home DISPLAY= QT_QPA_PLATFORM= XDG_SESSION_TYPE= "$root/usr/bin/tallymap" 2>&1 >/dev/null) || status=$?
    [ "$status" -eq 1 ] && [ "$said" = "no X display: set DISPLAY, or use tallyrender for pictures without a window" ] ||
        fail "without a display: exit $status, said: $said"
    [ "$(readlink -f "$home/Tallymap/data")" = "$(readlink -f "$share/data")" ] || fail "dangling link kept"
    [ "$(cat "$home/Tallymap/notes.txt")" = mine ] || fail "a user's file in ~/Tallymap was touched"

    # A home where the folder cannot be made: the installed data, said on stderr.
    touch "$work/home-file"
    said=$(cd "$empty" && { HOME=$work/home-file DISPLAY= "$root/usr/bin/tallymap" 2>&1 >/dev/null; } 2>/dev/null || true)
    case $said in *"starting in $(readlink -f "$share")"*) ;; *) fail "no fallback to the installed data: $said" ;; esac
}

case $step in
    build) build "$@" ;;
    layout) layout "$@" ;;
    launcher) launcher "$@" ;;
    clean) rm -rf "$work" ;;
    *) fail "unknown step $step" ;;
esac
