#!/usr/bin/env bash
# Installs the build folder $1 under a scratch prefix and makes its Debian package, then checks
# what each holds. One check a row.
set -u
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "install failed"; exit 1; }
for program in voxaxis voxeven voxslab; do
    check "$program in bin" test -x "$prefix/bin/$program"
    check "$program page" test -s "$prefix/share/man/man1/$program.1.gz"
    check "$program page is compressed roff" sh -c "gzip -dc '$prefix/share/man/man1/$program.1.gz' | grep -q '^.TH ${program^^} 1'"
    check "$program completion" test -s "$prefix/share/bash-completion/completions/$program"
    check "$program completion defines the function" bash -c "source '$prefix/share/bash-completion/completions/$program' && complete -p $program"
    check "installed $program runs" sh -c "'$prefix/bin/$program' 2>&1 | grep -q '^USAGE: .*$program '"
done

cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake" >/dev/null ||
    { echo "cpack failed"; exit 1; }
deb=$(ls "$scratch"/package/*.deb)
check "one package file" test -f "$deb"
check "package name" sh -c "dpkg-deb -f '$deb' Package | grep -qx vox"
check "package version" sh -c "dpkg-deb -f '$deb' Version | grep -Eq '^[0-9]+\.[0-9]+\.[0-9]+'"
check "package section" sh -c "dpkg-deb -f '$deb' Section | grep -qx science"
check "package depends on the C library" sh -c "dpkg-deb -f '$deb' Depends | grep -q libc6"
check "package has a description" sh -c "dpkg-deb -f '$deb' Description | grep -q 'raw volume'"
for path in usr/bin/voxaxis usr/bin/voxeven usr/bin/voxslab usr/share/man/man1/voxeven.1.gz \
    usr/share/bash-completion/completions/voxslab usr/share/doc/vox/README.md; do
    check "package holds $path" sh -c "dpkg-deb -c '$deb' | grep -q ' \./$path\$'"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
