#!/usr/bin/env bash
# Builds the source tree $1 twice with the compiler $2 and the CMake generator $3 (CMake's default
# if none is given), from two clones at paths of different lengths, and makes the Debian package
# of each: the two must be byte-identical. In a git checkout the clones carry the working tree's
# files and nothing sets SOURCE_DATE_EPOCH, so both builds take the time of the last commit;
# elsewhere it is set for both.
set -u
source_dir=$1
compiler=$2
generator=()
[ -n "${3:-}" ] && generator=(-G "$3")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
first=$scratch/one
second=$scratch/a/longer/path/to/the/second/clone

if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    unset SOURCE_DATE_EPOCH
    for clone in "$first" "$second"; do
        git clone -q "$source_dir" "$clone" || exit 1
        (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
            tar --null --ignore-failed-read -T - -cf -) 2>/dev/null | tar -x -C "$clone" || exit 1
    done
else
    export SOURCE_DATE_EPOCH=1796688000
    for clone in "$first" "$second"; do
        mkdir -p "$clone" && cp -a "$source_dir/." "$clone" && rm -rf "$clone"/build*
    done
fi

for clone in "$first" "$second"; do
    if ! cmake -S "$clone" -B "$clone/build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER="$compiler" -DBUILD_TESTING=OFF >/dev/null ||
        ! cmake --build "$clone/build" --parallel "$(nproc)" >/dev/null ||
        ! (cd "$clone/build" && cpack -G DEB >/dev/null); then
        echo "build in $clone failed"
        exit 1
    fi
done
one=$(ls "$first"/build/*.deb)
two=$(ls "$second"/build/*.deb)
echo "cmp ${one#"$scratch"/} ${two#"$scratch"/}"
if cmp "$one" "$two"; then
    echo "identical: $(sha256sum <"$one" | cut -c1-64)"
else
    for deb in "$one" "$two"; do
        dpkg-deb -c "$deb"
        mkdir "$deb.x" && dpkg-deb -x "$deb" "$deb.x" && (cd "$deb.x" && find . -type f -exec sha256sum {} + | sort -k2)
    done
    exit 1
fi
