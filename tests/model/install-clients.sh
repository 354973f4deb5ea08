#!/bin/sh
# install-clients.sh NPM SOURCE DEST -- installs the model tests' npm packages into
# DEST/node_modules, exactly as SOURCE/package-lock.json pins them (npm ci), and does
# nothing when the lock file installed last is this one.
set -eu
npm=$1 source=$2 dest=$3
mkdir -p "$dest"
if [ -d "$dest/node_modules" ] && cmp -s "$source/package-lock.json" "$dest/installed-lock.json"; then
    exit 0
fi
rm -f "$dest/installed-lock.json"
cp "$source/package.json" "$source/package-lock.json" "$dest/"
cd "$dest"
"$npm" ci --no-audit --no-fund
cp package-lock.json installed-lock.json
