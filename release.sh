#!/usr/bin/env bash
# Builds the release twice, in two clean folders, and stops unless both executables are
# byte-identical; then packs dist/Quillfen-Replay-Overlay-<version>-win64.zip (the executable,
# the README with every file it links to, and the LICENSE) twice, checks that both archives are
# identical, and writes the archive's SHA-256 checksum beside it.
set -euo pipefail
cd "$(dirname "$0")"
source cmake/linux-setup.sh

install_missing_packages cmake make g++-mingw-w64-x86-64-posix zip
version=$(sed -n 's/^project(QuillfenReplayOverlay VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=Quillfen-Replay-Overlay-$version-win64
exe=Quillfen-Replay-Overlay.exe
# Every file in the archive carries the time of the commit, not of the build.
stamp=$(git log -1 --format=%cI 2>/dev/null || echo '2026-01-01T00:00:00Z')
# The files the README links to (its own anchors aside) go with it, so that no link is broken.
mapfile -t linked < <(grep -oE '\]\([^)#][^)#]*' README.md | cut -c3- | sort -u)
mkdir -p dist

for n in 1 2; do
    folder=build-release-$n
    rm -rf "$folder"
    cmake -S . -B "$folder" --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
    cmake --build "$folder" -j "$(nproc)" >/dev/null
    mkdir -p "$folder/$name"
    cp "$folder/bin/$exe" README.md LICENSE "$folder/$name/"
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
rm -rf build-release-1 build-release-2
echo "Two builds gave identical executables and archives."
echo "dist/$name.zip"
cat "dist/$name.zip.sha256"
