#!/usr/bin/env bash
# usage: symbolic_link.sh FOLDER COMMAND...
# Runs the command beside a symbolic link, FOLDER/link.csv, to a file in another folder,
# FOLDER/real/data.csv, named to it in QUILLFEN_SYMBOLIC_LINK: Wine follows such links but cannot
# make them. FOLDER is made afresh and removed afterwards.
set -u
folder=$1
shift
rm -rf "$folder"
mkdir -p "$folder/real"
printf 'the old rows\r\n' >"$folder/real/data.csv"
ln -s real/data.csv "$folder/link.csv"
trap 'rm -rf "$folder"' EXIT
trap 'exit 143' TERM INT
export QUILLFEN_SYMBOLIC_LINK=$folder/link.csv
"$@"
