#!/usr/bin/env bash
# Installs the build folder $1 under a scratch prefix and makes its Debian package and, where
# rpmbuild is installed, its RPM package, then checks what each holds; lintian, where installed,
# must find nothing to say about the Debian package of a GCC build. $2 is the build's compiler
# (CMake's name for it), the programs follow. One check a row.
set -u
build=$1
compiler=$2
shift 2
programs=("$@")
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
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
# The build's time stamp, chosen as the build chooses it.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null ||
    stat -c %Y "$source_dir/CHANGELOG.md")}

# Every file that a package must hold, under /usr.
files=(share/doc/vox/README.md share/doc/vox/copyright share/doc/vox/changelog.gz
    share/doc/vox/changelog.Debian.gz share/zsh/vendor-completions/_vox)
for program in "${programs[@]}"; do
    files+=("bin/$program" "share/man/man1/$program.1.gz"
        "share/bash-completion/completions/$program"
        "share/fish/vendor_completions.d/$program.fish")
done

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "install failed"; exit 1; }
for file in "${files[@]}"; do
    check "installed $file" test -s "$prefix/$file"
done
for program in "${programs[@]}"; do
    page=$prefix/share/man/man1/$program.1.gz
    check "$program page: version and date of the project" sh -c "gzip -dc '$page' |
        grep -qx '.TH ${program^^} 1 $(date -u -d "@$epoch" +%F) \"vox $version\" \"User Commands\"'"
    # Without arguments: the usage line, or a pointer to --help.
    check "installed $program runs" sh -c "'$prefix/bin/$program' 2>&1 |
        grep -qiE '^usage: .*$program |^Try .*$program --help'"
    check "$program has no .comment section" sh -c "! objdump -h '$prefix/bin/$program' | grep -q ' \.comment '"
    check "$program binds immediately" sh -c "readelf -d '$prefix/bin/$program' | grep -q 'FLAGS.*NOW'"
    check "$program is position-independent" sh -c "readelf -h '$prefix/bin/$program' | grep -q 'DYN '"
done
check "copyright names the licence" grep -qx 'License: BSD-3-Clause' "$prefix/share/doc/vox/copyright"
check "copyright holds the licence text" sh -c "sed -n 's/^ //p' '$prefix/share/doc/vox/copyright' |
    grep -q 'Neither the name of the copyright holder'"
check "changelog.gz is CHANGELOG.md" sh -c "gzip -dc '$prefix/share/doc/vox/changelog.gz' |
    cmp - '$source_dir/CHANGELOG.md'"
check "CHANGELOG.md begins with this version" grep -q "^## $version " "$source_dir/CHANGELOG.md"

cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake" >/dev/null ||
    { echo "cpack -G DEB failed"; exit 1; }
deb=$(ls "$scratch"/package/*.deb)
check "package name" sh -c "dpkg-deb -f '$deb' Package | grep -qx vox"
check "package version" sh -c "dpkg-deb -f '$deb' Version | grep -qx '$version-1'"
check "package section" sh -c "dpkg-deb -f '$deb' Section | grep -qx science"
check "package depends on the C library" sh -c "dpkg-deb -f '$deb' Depends | grep -q libc6"
check "package has a description" sh -c "dpkg-deb -f '$deb' Description | grep -q 'raw volume'"
dpkg-deb -c "$deb" | awk '/^-/ { print substr($6, 3) }' | sort >"$scratch/deb-files"
printf 'usr/%s\n' "${files[@]}" | sort >"$scratch/want-files"
check "package holds exactly the files" cmp "$scratch/deb-files" "$scratch/want-files"
if [ "$compiler" != GNU ]; then
    # Clang 14 with glibc fortifies none of the functions the programs call (printf's kind needs
    # a GCC builtin), so lintian would say hardening-no-fortify-functions; the packages are
    # built with GCC, as Debian builds its own.
    echo "lintian is run on the packages of GCC builds only, not of $compiler builds"
elif command -v lintian >/dev/null; then
    lintian --pedantic --display-info "$deb" 2>&1 >"$scratch/lintian" |
        grep -v 'running with root privileges is not recommended' >>"$scratch/lintian"
    check "lintian says nothing" test ! -s "$scratch/lintian"
    cat "$scratch/lintian"
else
    echo "lintian is not installed: not run"
fi

if command -v rpmbuild >/dev/null; then
    cpack -G RPM -B "$scratch/rpm" --config "$build/CPackConfig.cmake" >/dev/null ||
        { echo "cpack -G RPM failed"; exit 1; }
    rpm=$(ls "$scratch"/rpm/*.rpm)
    rpm -qip "$rpm" >"$scratch/rpm-info"
    for field in 'Name *: vox' "Version *: $version" 'License *: BSD-3-Clause' \
        'Group *: Applications/Engineering' \
        'Summary *: converters of raw volume samples into legacy VTK-layout files' \
        'Vendor *: The vox developers'; do
        check "RPM $field" grep -qx "$field" "$scratch/rpm-info"
    done
    check "RPM has the description" grep -qx 'Three command-line programs that wrap a file of raw volume samples into one' "$scratch/rpm-info"
    rpm -qlp "$rpm" | sed 's|^/||' | sort >"$scratch/rpm-all"
    rpm -qp --qf '[%{FILEMODES:perms} %{FILENAMES}\n]' "$rpm" |
        awk '/^-/ { print substr($2, 2) }' | sort >"$scratch/rpm-files"
    check "RPM holds the files of the Debian package" cmp "$scratch/rpm-files" "$scratch/deb-files"
    check "RPM lists them" sh -c "comm -23 '$scratch/deb-files' '$scratch/rpm-all' | grep -c . | grep -qx 0"
    check "RPM claims no folder of the system" sh -c "! grep -Eqx 'usr/(bin|lib.*|share(/man|/man/man1|/doc|/bash-completion|/bash-completion/completions|/zsh|/zsh/vendor-completions|/fish|/fish/vendor_completions.d)?)' '$scratch/rpm-all'"
else
    echo "rpmbuild is not installed: no RPM package made"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
