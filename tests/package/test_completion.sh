#!/usr/bin/env bash
# Completes quillon-cli command lines with the completion script and the built program. The
# helpers of the bash-completion package are stood in for, so the test needs only bash.
# usage: test_completion.sh COMPLETION_SCRIPT CLI_DIR
set -uo pipefail
export PATH="$2:$PATH"

_init_completion() {
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur=${words[cword]}
    prev=${words[cword - 1]}
}
_filedir() { COMPREPLY=(FILES); }
_known_hosts_real() { COMPREPLY=(HOSTS); }
# shellcheck source=/dev/null
source "$1"

failures=0
expect() {
    local want=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _quillon_cli
    local got="${COMPREPLY[*]}"
    if [ "$got" != "$want" ]; then
        echo "FAIL: '$*' completed to '$got', not '$want'" >&2
        failures=$((failures + 1))
    fi
}

all=$(quillon-cli --commands | tr '\n' ' ')
expect "${all% }" quillon-cli ""
expect "info" quillon-cli --host 10.0.0.1 --user admin in
expect "usb-profiles" quillon-cli --lang zh us
expect "--box-encoding --box-modulus --commands --help --host --lang --password --port --user --version" quillon-cli --
expect "en zh" quillon-cli --host h --lang ""
expect "HOSTS" quillon-cli --host ""
expect "" quillon-cli --port ""
expect "--ip --port --time --size --help" quillon-cli --host h --port 9003 pcap --
expect "--force" quillon-cli --host h upgrade image.bin --f
expect "--force --help" quillon-cli --host h upgrade --
expect "get set" quillon-cli --host h logparams ""
expect "FILES" quillon-cli --host h logparams get ""
expect "FILES" quillon-cli --host h upgrade ""
# An option's value is not the command word, even when it looks like one.
expect "FILES" quillon-cli --user info export-params ""

[ $failures = 0 ] && echo "completions are right"
exit $((failures > 0))
