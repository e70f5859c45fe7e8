#!/usr/bin/env bash
# Prints the share of test code among the repository's non-blank C++ lines (tests/, fuzz/ and
# tst_* sources elsewhere count as tests). The project keeps it between 25 and 33 %.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { if [ $# -eq 0 ]; then echo 0; else cat "$@" | grep -cv '^[[:space:]]*$'; fi; }
mapfile -t all < <(git ls-files '*.cpp' '*.h')
tests=(); code=()
for f in "${all[@]}"; do
    case "$f" in tests/* | fuzz/* | */tst_*) tests+=("$f") ;; *) code+=("$f") ;; esac
done
t=$(count "${tests[@]}"); c=$(count "${code[@]}")
awk -v t="$t" -v c="$c" 'BEGIN { printf "tests %d, code %d, share %.1f %%\n", t, c, 100 * t / (t + c) }'
