# shellcheck shell=bash
# Sourced by the benchmarks that run the plugin in pvpython.
# plugin_environment BUILD: puts the plugin of the build folder BUILD (built with
# -DVOX_PARAVIEW=ON) on ParaView's path and its package "vox" on Python's, or fails saying why.
plugin_environment() {
    local plugin
    plugin=$(find "$1/lib" -path "*/plugins/VoxReader/VoxReader.so" -print -quit 2>/dev/null)
    [ -n "$plugin" ] || { echo "no VoxReader.so in $1: build with -DVOX_PARAVIEW=ON" >&2; return 1; }
    export PV_PLUGIN_PATH=${plugin%/*}
    export PYTHONPATH=$1/lib/python3/dist-packages${PYTHONPATH:+:$PYTHONPATH}
}
