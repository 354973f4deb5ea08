#!/bin/sh
# manual_options_test.sh PROGRAM MANUAL [COMMAND...] -- the options a program's --help
# lists (its own and each command's) are the options its manual page describes: an
# option added to one and not the other fails here.
set -eu
program=$1 manual=$2
shift 2

# --help: every --name it mentions
help=$(for command in "" "$@"; do "$program" $command --help; done |
       grep -oE -- '--[a-z][a-z-]*' | sort -u)
# the manual: the term line after each .TP, with its escaped dashes
man=$(awk 'term { print; term = 0 } /^\.TP/ { term = 1 }' "$manual" | sed 's/\\-/-/g' |
      grep -oE -- '--[a-z][a-z-]*' | sort -u)
if [ "$help" != "$man" ]; then
    echo "$(basename "$program"): --help and $(basename "$manual") list different options:"
    printf '%s\n' "$help" >"${TMPDIR:-/tmp}/help.$$"
    printf '%s\n' "$man" | diff "${TMPDIR:-/tmp}/help.$$" - | sed -n 's/^</  only in --help:/p; s/^>/  only in the manual:/p'
    rm -f "${TMPDIR:-/tmp}/help.$$"
    exit 1
fi
