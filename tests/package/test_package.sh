#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks it: its file list (no build path, no
# test file), its contents (no path of the source or build tree inside any file), its control
# fields and install script, the version in its changelog and metainfo, and lintian (no errors;
# warnings are printed).
# usage: test_package.sh BUILD_DIR SOURCE_DIR VERSION RELEASE WITH_UI
set -uo pipefail
build=$(realpath "$1") source=$(realpath "$2") version=$3 release=$4 with_ui=$5

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log" >&2
    echo "FAIL: cpack" >&2
    exit 1
fi
deb=$(ls "$out"/quillon_"$version-$release"_*.deb 2>/dev/null)
[ -f "$deb" ] || { echo "FAIL: no quillon_$version-${release}_*.deb" >&2; exit 1; }

dpkg-deb -c "$deb" | awk '{print $6}' >"$out/files"
if grep -E '(^|/)(test_[^/]*|tests?|[^/]*gtest[^/]*|CMakeFiles|_CPack_Packages)(/|$)|\.(a|o|cmake)$' "$out/files"; then
    fail "test or build files in the package"
fi
if grep -F -e "$build" -e "$source" -e "$(basename "$build")/" "$out/files"; then
    fail "a build path in the package's file list"
fi
grep -qx './usr/bin/quillon-cli' "$out/files" || fail "quillon-cli missing"
grep -qx './usr/share/doc/quillon/copyright' "$out/files" || fail "copyright missing"

dpkg-deb -x "$deb" "$out/root"
if grep -rlF --binary-files=text -e "$source" -e "$build" "$out/root"; then
    fail "files that name the source or build tree"
fi

depends=$(dpkg-deb -f "$deb" Depends)
for d in fonts-wqy-microhei libcap2-bin libssl3 libpcre2-8-0; do
    [[ $depends == *"$d"* ]] || fail "Depends lacks $d: $depends"
done
if [ "$with_ui" = 1 ]; then
    [[ $depends == *libqt6widgets6* ]] || fail "Depends lacks the Qt libraries: $depends"
fi

dpkg-deb -e "$deb" "$out/control"
grep -q 'setcap cap_net_bind_service=+ep' "$out/control/postinst" || fail "postinst gives no capability"
grep -q '/usr/bin/quillon-cli' "$out/control/postinst" || fail "postinst names no live-log program"
sh -n "$out/control/postinst" || fail "postinst is not valid sh"

zcat "$out/root/usr/share/doc/quillon/changelog.Debian.gz" | head -n 1 | grep -qF "quillon ($version-$release)" ||
    fail "the changelog's newest entry is not $version-$release"
if [ "$with_ui" = 1 ]; then
    grep -q "<release version=\"$version\"" "$out/root/usr/share/metainfo/org.quillon.quillon.metainfo.xml" ||
        fail "the metainfo's releases lack $version"
fi

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$deb" >"$out/lintian.txt" 2>&1
    grep -v 'running with root privileges' "$out/lintian.txt"
    if grep -q '^E:' "$out/lintian.txt"; then
        fail "lintian reports errors"
    fi
else
    echo "lintian not installed: not run"
fi

[ $failures = 0 ] && echo "package $(basename "$deb") checked"
exit $((failures > 0))
