# shellcheck shell=bash
# Sourced by the benchmarks, which set `root` (the source folder) and `build` (VOX_BUILD if
# given, else build/): vox_build TARGET... configures build/ with the default preset and brings
# the targets up to date, unless VOX_BUILD was given, which is used as it is.
vox_build() {
    [ -z "${VOX_BUILD:-}" ] || return 0
    # The default preset, in the generator that build/ already has if it has one (say, Unix
    # Makefiles from `cmake -S . -B build`): the preset's Ninja would be refused there.
    local generator configure
    generator=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "${build:?}/CMakeCache.txt" 2>/dev/null || true)
    configure=(cmake --preset default -S "$root")
    [ -z "$generator" ] || configure+=(-G "$generator")
    "${configure[@]}" >/dev/null
    cmake --build "$build" --target "$@" >/dev/null
}
