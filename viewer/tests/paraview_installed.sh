#!/usr/bin/env bash
# The plugin as installed, not as built (a build's RUNPATH names the build folder): installs its
# component under a scratch DESTDIR, finds the plugin where the environment file of the install
# says it is, and runs the pvpython rows with that copy and its Python package alone.
# Usage: paraview_installed.sh BUILD PARAVIEW_TEST_PY VOXAXIS VOXEVEN VOXSLAB
set -euo pipefail
build=$1
test=$2
shift 2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --component paraview_plugin > /dev/null
# shellcheck source=/dev/null
plugin=$(unset PV_PLUGIN_PATH && . "$root/etc/profile.d/vox-paraview.sh" && echo "$PV_PLUGIN_PATH")
if [ ! -f "$root$plugin/VoxReader.so" ]; then
    echo "FAIL the environment file names $plugin; no plugin is installed there" >&2
    exit 1
fi
python=$root${plugin%/lib/*}/lib/python3/dist-packages
PV_PLUGIN_PATH=$root$plugin PYTHONPATH=$python pvpython "$test" "$@"
