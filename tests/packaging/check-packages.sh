#!/bin/sh
# Checks the Debian packages that `cpack -G DEB` made in BUILD/packages: lintian finds no error
# and no warning, each package holds exactly the files intended and depends on what it needs,
# and the host project in tests/consumer builds and runs against the packages unpacked into a
# scratch root (nothing is installed on the machine).
# Usage: check-packages.sh BUILD
set -eu
build=$(realpath "$1")
source=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
major=${version%%.*}
libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
runtime=libqorutils$major
scratch=$build/package-check
status=0

fail() {
    echo "check-packages: $*" >&2
    status=1
}

deb() {
    echo "$build/packages/${1}_${version}_$(dpkg --print-architecture).deb"
}

# The files and links that package $1 should hold, without directories. The CMake export file
# named after the build type is listed as QorUtilsTargets-CONFIG.cmake.
intended() {
    case $1 in
    "$runtime")
        echo "$libdir/libQorUtils.so.$major -> libQorUtils.so.$version"
        echo "$libdir/libQorUtils.so.$version"
        echo "usr/share/lintian/overrides/$runtime"
        ;;
    libqorutils-dev)
        (cd "$source/include" && find QorUtils -name '*.h' | sed 's|^|usr/include/|')
        echo "$libdir/libQorUtils.so -> libQorUtils.so.$major"
        for name in Config ConfigVersion Targets Targets-CONFIG; do
            echo "$libdir/cmake/QorUtils/QorUtils$name.cmake"
        done
        echo "$libdir/pkgconfig/QorUtils.pc"
        ;;
    qorutils-tools)
        echo "usr/bin/qorxml"
        echo "usr/share/man/man1/qorxml.1.gz"
        ;;
    esac
    echo "usr/share/doc/$1/changelog.gz"
    echo "usr/share/doc/$1/copyright"
}

# The files and links that package $1 holds, in the same form.
packaged() {
    dpkg-deb --contents "$(deb "$1")" | grep -v '^d' |
        sed -e 's/^.* \.\///' -e 's/QorUtilsTargets-[a-z]*\.cmake$/QorUtilsTargets-CONFIG.cmake/'
}

# The dependencies that package $1 must name, one extended regular expression each: those that
# dpkg-shlibdeps found in its binaries, and the other packages of the same build.
needs() {
    case $1 in
    "$runtime") printf '%s\n' '(^|, )libexpat1 \(>= ' '(^|, )libc6 \(>= ' ;;
    libqorutils-dev) printf '%s\n' "(^|, )$runtime \\(= $version\\)" '(^|, )libexpat1-dev(,|$)' ;;
    qorutils-tools) printf '%s\n' "(^|, )$runtime \\(= $version\\)" '(^|, )libc6 \(>= ' ;;
    esac
}

rm -rf "$scratch"
mkdir -p "$scratch/root"
for package in "$runtime" libqorutils-dev qorutils-tools; do
    intended "$package" | sort >"$scratch/$package.intended"
    packaged "$package" | sort >"$scratch/$package.packaged"
    diff -u "$scratch/$package.intended" "$scratch/$package.packaged" ||
        fail "$package: its files are not those intended (-: intended, +: packaged)"
    depends=$(dpkg-deb --field "$(deb "$package")" Depends)
    needs "$package" | while read -r pattern; do
        echo "$depends" | grep -Eq "$pattern" || echo "$pattern"
    done >"$scratch/$package.missing"
    [ ! -s "$scratch/$package.missing" ] ||
        fail "$package: Depends '$depends' lacks $(cat "$scratch/$package.missing")"
    dpkg-deb --extract "$(deb "$package")" "$scratch/root"
done

lintian --fail-on error,warning "$build"/packages/*.deb || fail "lintian found errors or warnings"

# The unpacked packages as a host's build machine would have them installed.
LD_LIBRARY_PATH=$scratch/root/$libdir "$scratch/root/usr/bin/qorxml" --version |
    grep -qx "qorxml (QorUtils) $version" || fail "qorxml --version does not say $version"
sh "$source/tests/consumer/check.sh" "$scratch/root/usr" "$scratch/consumer" ||
    fail "the host project does not build or run against the unpacked packages"
exit $status
