#!/usr/bin/env bash
# usage: release.sh [TAG]
# Builds the release from what is committed (it stops on uncommitted changes) twice, in two clean
# folders, and stops unless both executables are byte-identical; then packs
# dist/Quillfen-Replay-Overlay-<version>-win64.zip (the executable, the README with every file it
# links to, and the LICENSE) twice, checks that both archives are identical, and writes the
# archive's SHA-256 checksum beside it, and a build record: the commit, its time and the versions
# of the packages that made the bytes. With a tag (v1.2.3), it first stops unless the tag names the
# version in CMakeLists.txt, the one place the version is written.
set -euo pipefail
cd "$(dirname "$0")"
source cmake/linux-setup.sh
# The same bytes wherever it runs: zip stores local times, and sort orders by the locale.
export TZ=UTC LC_ALL=C

version=$(sed -n 's/^project(QuillfenReplayOverlay VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ $# -gt 0 ] && [ "$1" != "v$version" ]; then
    echo "The tag $1 does not name the version in CMakeLists.txt, $version (its tag would be v$version)." >&2
    exit 1
fi
# A tag that exists already must name the commit that is built.
if [ $# -gt 0 ] && tagged=$(git rev-parse -q --verify "refs/tags/$1^{commit}") &&
    [ "$tagged" != "$(git rev-parse HEAD)" ]; then
    echo "The tag $1 names the commit $tagged, not the one checked out, $(git rev-parse HEAD)." >&2
    exit 1
fi
# Every file in the archive carries the time of the last commit, not of the build: without git, or
# with git refusing the folder, the bytes would differ, so that is an error.
if ! top=$(git rev-parse --show-toplevel 2>&1) || [ "$top" != "$(pwd -P)" ]; then
    echo "release.sh needs this project's git checkout, readable by git: the archive's file times are" >&2
    echo "its last commit's. git said: $top" >&2
    exit 1
fi
# The zip is what the commit builds: an edited or added file would go into it unnamed.
if [ -n "$(git status --porcelain)" ]; then
    echo "release.sh builds only what is committed, and these files differ from the last commit:" >&2
    git status --short >&2
    echo "Commit them, or set them aside (git stash -u), and run it again." >&2
    exit 1
fi
stamp=$(git log -1 --format=%cI)
# The packages whose versions decide the bytes: the cross compiler with its runtime, headers and
# binutils, CMake and zip.
TOOLCHAIN=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix-runtime
           gcc-mingw-w64-base binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev mingw-w64-common cmake cmake-data
           make zip)
install_missing_packages "${TOOLCHAIN[@]}"
name=Quillfen-Replay-Overlay-$version-win64
exe=Quillfen-Replay-Overlay.exe
# The files the README links to (its own anchors aside) go with it, so that no link is broken.
# Links out of the project (../../releases) are no files of it.
mapfile -t linked < <(grep -oE '\]\([^)#][^)#]*' README.md | cut -c3- | grep -v -e '^\.\./' -e '://' | sort -u)
mkdir -p dist

for n in 1 2; do
    folder=build-release-$n
    rm -rf "$folder"
    cmake -S . -B "$folder" --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
    cmake --build "$folder" -j "$(nproc)" >/dev/null
    mkdir -p "$folder/$name"
    cp "$folder/bin/$exe" LICENSE "$folder/$name/"
    # A link out of the project leads nowhere inside the zip: its text stays, the link goes.
    sed -E 's/\[([^]]*)\]\(\.\.\/[^)]*\)/\1/g' README.md >"$folder/$name/README.md"
    cp --parents "${linked[@]}" "$folder/$name/"
    find "$folder/$name" -type f -exec chmod 644 {} +
    find "$folder/$name" -exec touch -d "$stamp" {} +
    # -X: no extra fields (they would carry access times, owners); -D: no folder entries.
    (cd "$folder" && zip -q -X -D "$name.zip" "$name/$exe" "$name/LICENSE" "$name/README.md" "${linked[@]/#/$name/}")
done

cmp -s "build-release-1/bin/$exe" "build-release-2/bin/$exe" || { echo "The two builds' executables differ." >&2; exit 1; }
cmp -s "build-release-1/$name.zip" "build-release-2/$name.zip" || { echo "The two archives differ." >&2; exit 1; }
cp "build-release-1/$name.zip" dist/
(cd dist && sha256sum "$name.zip" > "$name.zip.sha256")
{
    echo "Quillfen Replay Overlay $version, $name.zip"
    echo "SHA-256: $(cut -d ' ' -f 1 "dist/$name.zip.sha256")"
    echo "Commit: $(git rev-parse HEAD)"
    echo "Commit time: $stamp"
    echo "Built on: $(. /etc/os-release && echo "$PRETTY_NAME"), $(dpkg --print-architecture)"
    echo "Packages:"
    dpkg-query -W -f='  ${Package} ${Version}\n' "${TOOLCHAIN[@]}"
} >"dist/$name.build.txt"
rm -rf build-release-1 build-release-2
echo "Two builds gave identical executables and archives."
echo "dist/$name.zip"
cat "dist/$name.zip.sha256"
echo "Build record: dist/$name.build.txt"
