#!/usr/bin/env bash
# usage: ordinary_user.sh PREFIX WINE PROGRAM ARGUMENTS...
# Runs the Windows program as nobody, an ordinary user for whom file permissions hold (root's
# writes ignore them), beside files nobody may not write, named to it in QUILLFEN_FOREIGN_FILES.
# Everything nobody needs lies in a private folder of its own under the temporary folder, which
# nobody reaches wherever the checkout is (one in /root is root's alone): a copy of the program,
# the files, and nobody's Wine prefix, made of hard links to PREFIX's files where it can, so that
# it costs no room. The folder and nobody's Wine server go afterwards. Where this is impossible
# (not root, no setpriv, a temporary folder nobody cannot reach or without room for a prefix), the
# program runs as it is and QUILLFEN_ORDINARY_USER_REFUSED says why.
set -u
prefix=$1 wine=$2 program=$3
shift 3
run_as_it_is() {
    export QUILLFEN_ORDINARY_USER_REFUSED=$1
    shift
    env WINEPREFIX="$prefix" "$wine" "$program" "$@"
    exit
}
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
    run_as_it_is "making files of another user needs root and setpriv" "$@"
fi
as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
folder=$(mktemp -d "${TMPDIR:-/tmp}/quillfen-ordinary-user.XXXXXX") ||
    run_as_it_is "no private folder could be made under ${TMPDIR:-/tmp}" "$@"
trap '[ -z "${server:-}" ] ||
          "${as_nobody[@]}" env WINEPREFIX="$folder/prefix" "$(dirname "$wine")/wineserver" -k 2>/dev/null
      for socket in "${TMPDIR:-/tmp}"/wine-*/"${server:-none}"; do [ ! -d "$socket" ] || rm -rf "$(dirname "$socket")"; done
      rm -rf "$folder"' EXIT
trap 'exit 143' TERM INT
chown nobody:nogroup "$folder"
"${as_nobody[@]}" test -w "$folder" || run_as_it_is "nobody cannot reach a folder under ${TMPDIR:-/tmp}" "$@"
# On another file system than PREFIX's (a container's workspace, say) the prefix is copied.
reason=
cp -al "$prefix" "$folder/prefix" 2>/dev/null || { rm -rf "$folder/prefix" && reason=$(cp -a "$prefix" "$folder/prefix" 2>&1); } ||
    run_as_it_is "the Wine prefix could not be copied into ${TMPDIR:-/tmp}: ${reason%%$'\n'*}" "$@"
rm -f "$folder/prefix/wineserver"  # root's server's place, readable by root alone
# Nobody's Wine server keeps its socket in a folder wine-XXXXXX/server-DEVICE-INODE of its own
# in the temporary folder.
server=$(printf 'server-%s-%x' "$(stat -c %D "$folder/prefix")" "$(stat -c %i "$folder/prefix")")
# Wine looks for nobody's profile folders, Desktop first; root's lead into root's home, which
# nobody may not open. Without a desktop the save dialog takes no file name.
cp -al "$folder/prefix/drive_c/users/root" "$folder/prefix/drive_c/users/nobody"
find "$folder/prefix/drive_c/users" -maxdepth 2 -type l -exec sh -c 'rm "$1" && mkdir "$1"' _ {} \;
cp "$program" "$folder/"
mkdir "$folder/files"
# Only the folders become nobody's: the files are root's prefix's own, shared, and Wine replaces
# rather than rewrites what it changes.
find "$folder" -type d -exec chown nobody:nogroup {} +
[ -z "${XAUTHORITY:-}" ] || install -o nobody -g nogroup -m 600 "$XAUTHORITY" "$folder/Xauthority"
cd "$folder/files"
printf 'the user'\''s own\r\n' | tee read-only.csv other-user.csv other-group.csv >/dev/null
chown nobody:nogroup read-only.csv && chmod 444 read-only.csv
chown root:root other-user.csv other-group.csv && chmod 644 other-user.csv && chmod 664 other-group.csv
"${as_nobody[@]}" env HOME="$folder" XAUTHORITY="$folder/Xauthority" WINEPREFIX="$folder/prefix" WINEDEBUG=-all \
    WINEDLLOVERRIDES=mscoree,mshtml= QUILLFEN_FOREIGN_FILES="$folder/files" \
    "$wine" "$folder/$(basename "$program")" "$@"
