#!/usr/bin/env bash
# Installs the build into a staging folder and runs the installed programs: versions, the
# command line against the installed simulated box, the log location, the window, the manuals.
# usage: test_install.sh BUILD_DIR VERSION WITH_UI WITH_MAN
set -uo pipefail
build=$1 version=$2 with_ui=$3 with_man=$4

stage=$(mktemp -d)
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$stage"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! DESTDIR="$stage/root" cmake --install "$build" --prefix /usr >"$stage/install.log" 2>&1; then
    cat "$stage/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
fi
root=$stage/root/usr
expected=(bin/quillon-cli bin/quillon-stbsim share/bash-completion/completions/quillon-cli
          share/doc/quillon/copyright)
if [ "$with_ui" = 1 ]; then
    expected+=(bin/quillon share/applications/quillon.desktop share/metainfo/org.quillon.quillon.metainfo.xml
               share/icons/hicolor/scalable/apps/quillon.svg share/icons/hicolor/48x48/apps/quillon.png)
fi
if [ "$with_man" = 1 ]; then
    expected+=(share/man/man1/quillon-cli.1.gz share/man/man1/quillon-stbsim.1.gz)
    [ "$with_ui" = 1 ] && expected+=(share/man/man1/quillon.1.gz)
fi
for f in "${expected[@]}"; do
    [ -e "$root/$f" ] || fail "not installed: /usr/$f"
done

# A test program or a library of the build must never be installed.
if find "$stage/root" \( -name 'test_*' -o -name '*.a' -o -name '*gtest*' \) | grep .; then
    fail "build-only files installed"
fi

programs=(quillon-cli quillon-stbsim)
[ "$with_ui" = 1 ] && programs+=(quillon)
for p in "${programs[@]}"; do
    got=$("$root/bin/$p" --version 2>&1)
    [ "$got" = "$p $version" ] || fail "$p --version printed '$got'"
done

# The installed box on a free loopback port; its first line names the port.
export XDG_STATE_HOME=$stage/state HOME=$stage/home
"$root/bin/quillon-stbsim" --listen 127.0.0.1:0 >"$stage/sim.out" 2>&1 &
sim_pid=$!
port=""
for _ in $(seq 100); do
    port=$(sed -n 's/^quillon-stbsim listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$stage/sim.out")
    [ -n "$port" ] && break
    sleep 0.1
done
if [ -z "$port" ]; then
    cat "$stage/sim.out" >&2
    fail "the installed quillon-stbsim did not start"
else
    "$root/bin/quillon-cli" --host 127.0.0.1 --port "$port" --user admin --password quillon info \
        >"$stage/info.out" 2>"$stage/info.err"
    rc=$?
    [ $rc = 0 ] || { cat "$stage/info.err" >&2; fail "installed quillon-cli info exited $rc"; }
    grep -q '^SoftwareVersion = .' "$stage/info.out" || fail "info printed no software version"
    lines=$(grep -c ' = ' "$stage/info.out")
    [ "$lines" = 25 ] || fail "info printed $lines keys, not 25"
fi

# Installed programs log under the state folder, never into the folder they are installed in.
[ -s "$XDG_STATE_HOME/quillon/quillon-cli.log" ] || fail "no log in \$XDG_STATE_HOME/quillon/"
if find "$stage/root" -name '*.log' | grep .; then
    fail "a log was written into the installed tree"
fi

if [ "$with_ui" = 1 ]; then
    QT_QPA_PLATFORM=offscreen "$root/bin/quillon" >"$stage/ui.out" 2>&1 &
    ui_pid=$!
    sleep 2
    kill -TERM "$ui_pid"
    wait "$ui_pid"
    rc=$?
    [ $rc = 0 ] || { cat "$stage/ui.out" >&2; fail "the installed window exited $rc"; }
    grep -q 'quillon end' "$XDG_STATE_HOME/quillon/quillon.log" 2>/dev/null ||
        fail "the installed window did not log its end under \$XDG_STATE_HOME/quillon/"
fi

if [ "$with_man" = 1 ] && command -v man >/dev/null; then
    for page in "$root"/share/man/man1/*.1.gz; do
        out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$out" ] || fail "man warns on $(basename "$page"): $out"
    done
    MANWIDTH=80 man -l "$root/share/man/man1/quillon-cli.1.gz" 2>/dev/null | grep -q '^ *zone-info FILE' ||
        fail "the quillon-cli manual does not list the commands"
fi

[ $failures = 0 ] && echo "installed programs work from the staging folder"
exit $((failures > 0))
