#!/bin/bash
# tazelctl's bash completion as a shell runs it, with and without the bash-completion package
# loaded: the stored servers' names are offered quoted for the shell, so that the completed line
# reads each as one word, and a name is never expanded by the shell while it is offered.
# Usage: tst_completion.sh TAZELCTL TAZEL-SIM COMPLETION-FILE
set -u
tazelctl=$(realpath "$1") sim=$(realpath "$2") completion=$(realpath "$3")
[[ -x $tazelctl && -x $sim && -r $completion ]] || { echo "FAIL: usage: $0 TAZELCTL TAZEL-SIM COMPLETION-FILE"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_CONFIG_HOME="$tmp/config"
store="$XDG_CONFIG_HOME/Tazel Administrator/Tazel Administrator.conf"
"$sim" --write-settings "$store" --port 6017 || { echo "FAIL: no settings file written"; exit 1; }
# A second record whose name a shell would run, were it expanded.
cat >>"$store" <<'CONF'
[server2]
server_name=$(touch ran)x`touch ran`
server_address=127.0.0.1
server_port=6017
server_login=admin
active=True
CONF
sed -i 's/^server_count=1$/server_count=2/' "$store"
mkdir "$tmp/bin" && ln -s "$tazelctl" "$tmp/bin/tazelctl"
export PATH="$tmp/bin:$PATH"
cd "$tmp"

failures=0
check() {  # check WHERE TYPED EXPECTED-WORD-AFTER-COMPLETION
    local where=$1 typed=$2 expected=$3
    COMP_WORDS=(tazelctl -s "$typed") COMP_CWORD=2
    COMP_LINE="tazelctl -s $typed" COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _tazelctl tazelctl "$typed" -s
    if [[ ${#COMPREPLY[@]} -ne 1 ]]; then
        echo "FAIL ($where, typed [$typed]): ${#COMPREPLY[@]} completions: ${COMPREPLY[*]-}"; failures=$((failures + 1)); return
    fi
    # The line as the shell reads it once the completion is inserted.
    local -a words
    eval "words=(tazelctl -s ${COMPREPLY[0]} domain list)"
    if [[ ${words[2]} != "$expected" || ${#words[@]} -ne 5 ]]; then
        echo "FAIL ($where, typed [$typed]): inserted [${COMPREPLY[0]}], read as [${words[*]}]"; failures=$((failures + 1))
    fi
}

run_checks() {
    local where=$1
    source "$completion" || { echo "FAIL: $completion"; failures=$((failures + 1)); return; }
    check "$where" "Taz" "Tazel simulator"
    check "$where" "'Tazel s" "Tazel simulator"
    check "$where" 'Tazel\ s' "Tazel simulator"
    check "$where" '$' '$(touch ran)x`touch ran`'
    [[ -e ran ]] && { echo "FAIL ($where): a stored name was run by the shell"; failures=$((failures + 1)); }
}

run_checks "plain bash"
lib=/usr/share/bash-completion/bash_completion
if [[ -r $lib ]]; then
    (source "$lib"; run_checks "with bash-completion"; exit $failures)
    failures=$((failures + $?))
fi
[[ $failures -eq 0 ]] && echo "PASS" || echo "$failures failure(s)"
exit $((failures > 0))
