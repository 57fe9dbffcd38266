#!/usr/bin/env bash
# usage: ordinary_user.sh FOLDER PREFIX WINE PROGRAM ARGUMENTS...
# Runs the Windows program as nobody, an ordinary user for whom file permissions hold (root's
# writes ignore them), beside files nobody may not write, in FOLDER/files, named to it in
# QUILLFEN_FOREIGN_FILES. Nobody's Wine prefix is made of hard links to PREFIX's files, so it costs
# no room; its Wine server is stopped afterwards. Where this is impossible (not root, no setpriv),
# the program runs as it is and QUILLFEN_ORDINARY_USER_REFUSED says why.
set -u
folder=$1 prefix=$2 wine=$3
shift 3
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
    export QUILLFEN_ORDINARY_USER_REFUSED="making files of another user needs root and setpriv"
    exec env WINEPREFIX="$prefix" "$wine" "$@"
fi
as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups
           env HOME="$folder" XAUTHORITY="$folder/Xauthority" WINEPREFIX="$folder/prefix" WINEDEBUG=-all
           WINEDLLOVERRIDES=mscoree,mshtml=)
rm -rf "$folder"
mkdir -p "$folder/files"
cp -al "$prefix" "$folder/prefix"
rm -f "$folder/prefix/wineserver"  # root's server's place, readable by root alone
# Wine looks for nobody's profile folders, Desktop first; root's lead into root's home, which
# nobody may not open. Without a desktop the save dialog takes no file name.
cp -al "$prefix/drive_c/users/root" "$folder/prefix/drive_c/users/nobody"
find "$folder/prefix/drive_c/users" -maxdepth 2 -type l -exec sh -c 'rm "$1" && mkdir "$1"' _ {} \;
# Only the folders become nobody's: the files are root's prefix's own, shared, and Wine replaces
# rather than rewrites what it changes.
find "$folder" -type d -exec chown nobody:nogroup {} +
[ -z "${XAUTHORITY:-}" ] || install -o nobody -g nogroup -m 600 "$XAUTHORITY" "$folder/Xauthority"
# Nobody's Wine server keeps its socket in a folder /tmp/wine-XXXXXX/server-DEVICE-INODE of its own.
server=$(printf 'server-%s-%x' "$(stat -c %D "$folder/prefix")" "$(stat -c %i "$folder/prefix")")
trap '"${as_nobody[@]}" "$(dirname "$wine")/wineserver" -k 2>/dev/null
      for socket in /tmp/wine-*/"$server"; do [ ! -d "$socket" ] || rm -rf "$(dirname "$socket")"; done
      rm -rf "$folder"' EXIT
trap 'exit 143' TERM INT
cd "$folder/files"
printf 'the user'\''s own\r\n' | tee read-only.csv other-user.csv other-group.csv >/dev/null
chown nobody:nogroup read-only.csv && chmod 444 read-only.csv
chown root:root other-user.csv other-group.csv && chmod 644 other-user.csv && chmod 664 other-group.csv
export QUILLFEN_FOREIGN_FILES=$folder/files
"${as_nobody[@]}" "$wine" "$@"
