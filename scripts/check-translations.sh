#!/bin/sh
# Fails unless a translation file is complete and current: lupdate runs over the sources into a
# copy of it, and the copy may then hold no unfinished, vanished or empty entry, and every
# translation must keep its text's placeholders (%1, %2 ...).
# Usage: check-translations.sh LUPDATE FILE.ts [LUPDATE OPTIONS] -- SOURCES...
set -eu
lupdate=$1 ts=$2
shift 2
options=''
while [ $# -gt 0 ] && [ "$1" != -- ]; do options="$options $1"; shift; done
shift
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vesk-ts.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
copy="$scratch/$(basename "$ts")"
cp "$ts" "$copy"
# shellcheck disable=SC2086 # the options are words
"$lupdate" -silent -locations none $options "$@" -ts "$copy" >"$scratch/lupdate.log" 2>&1 || {
    cat "$scratch/lupdate.log"
    exit 1
}
# One record per message: its source and translation, with entities and line breaks as they are.
report=$(awk -v RS='</message>' '
    /<message/ {
        source = $0; sub(/.*<source>/, "", source); sub(/<\/source>.*/, "", source)
        translation = $0; sub(/.*<translation[^>]*>/, "", translation)
        sub(/<\/translation>.*/, "", translation)
        if ($0 ~ /<translation[^>]*type="(unfinished|vanished|obsolete)"/)
            problem = "not translated, or its text is gone"
        else if ($0 ~ /<translation[^>]*\/>/ || translation == "")
            problem = "empty translation"
        else {
            problem = ""
            rest = source
            while (match(rest, /%[0-9]/)) {
                mark = substr(rest, RSTART, RLENGTH)
                if (index(translation, mark) == 0) problem = "translation lacks " mark
                rest = substr(rest, RSTART + RLENGTH)
            }
        }
        if (problem != "") printf "%s: %s\n", source, problem
    }' "$copy")
if [ -n "$report" ]; then
    echo "$ts is not complete (run the update_translations target, then translate):"
    echo "$report"
    exit 1
fi
echo "$ts: $(grep -c '<message' "$copy") texts, all translated"
