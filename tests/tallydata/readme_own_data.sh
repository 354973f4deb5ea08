#!/bin/sh
# readme_own_data.sh -- runs the commands of the README's "Your own data" as they are
# written there, in a home folder of the test's own, with the programs of a build or of
# an unpacked package:
#   readme_own_data.sh README.md BIN_DIR SHARE_DIR HOME_DIR
# BIN_DIR holds tallydata and tallyrender (a build's tools/ folder is laid out as
# tools/NAME/NAME: give "build:DIR" for that); SHARE_DIR stands for /usr/share/tallymap.
# The line that starts the viewer is left out (it needs a display: tried by hand). Exits
# with the status of the first command that fails; prints the script it ran.
set -eu
readme=$1 bin=$2 share=$3 home=$4
case "$bin" in
    build:*) dir=${bin#build:}; tallydata=$dir/tallydata/tallydata; tallyrender=$dir/tallyrender/tallyrender ;;
    *) tallydata=$bin/tallydata; tallyrender=$bin/tallyrender ;;
esac
script=$home/your-own-data.sh
awk '/^## Your own data/ { inside = 1; next } /^## / { inside = 0 } inside && /^    / { print substr($0, 5) }' \
    "$readme" |
    sed -e "s|/usr/share/tallymap|$share|g" -e "s|^tallydata |'$tallydata' |" -e "s|^tallyrender |'$tallyrender' |" \
        -e '/^tallymap$/d' > "$script"
[ -s "$script" ] || { echo "readme_own_data.sh: no commands in the section" >&2; exit 1; }
cat "$script"
HOME=$home sh -eu "$script"
