#!/usr/bin/env bash
# usage: small_disk.sh FOLDER COMMAND...
# Runs the command with a 16 KiB tmpfs mounted at FOLDER, named to it in QUILLFEN_SMALL_DISK: a
# disk that fills up for real. It is unmounted afterwards, whatever the command did. Where the
# mount is refused (not root, no tmpfs), QUILLFEN_SMALL_DISK_REFUSED says why instead.
set -u
folder=$1
shift
mkdir -p "$folder"
if reason=$(mount -t tmpfs -o size=16k quillfen-small-disk "$folder" 2>&1); then
    # Lazily if Wine still holds a handle in it: the mount must not outlive the test.
    trap 'umount "$folder" 2>/dev/null || umount -l "$folder"' EXIT
    trap 'exit 143' TERM INT
    export QUILLFEN_SMALL_DISK=$folder
else
    export QUILLFEN_SMALL_DISK_REFUSED="mounting a 16 KiB tmpfs at $folder was refused: ${reason:-no reason given}"
fi
"$@"
