#!/usr/bin/env bash
# Checks that includes in src/ only go down the layers (core < toolkit < areas < window < app)
# and that no operation area includes another area's header (areas share only context.h and
# buildprofile.h; a unit split over files named unit.cpp, unit_part.cpp includes its own unit.h).
# Prints each offending include and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"
rank() {
    case $1 in core) echo 0 ;; toolkit) echo 1 ;; areas) echo 2 ;; window) echo 3 ;; app) echo 4 ;;
    *) echo 99 ;; esac
}
bad=0
while IFS=: read -r file _ line; do
    from=${file%%/*}
    target=$(sed -n 's/^#include "\([a-z]*\)\/\([^"]*\)".*/\1 \2/p' <<<"$line")
    [ -n "$target" ] || continue
    to=${target%% *}
    header=${target#* }
    # A unit may be split over several files: portselector.cpp, portselector_menu.cpp, ...
    own=$(basename "${file%.*}"); own=${own%%_*}.h
    if [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
        echo "up a layer: $file includes $to/$header"; bad=1
    elif [ "$from" = areas ] && [ "$to" = areas ] && [ "$header" != "$own" ] &&
        [ "$header" != context.h ] && [ "$header" != buildprofile.h ]; then
        echo "sideways between areas: $file includes areas/$header"; bad=1
    fi
done < <(grep -rn '^#include "' --include='*.cpp' --include='*.h' .  | sed 's|^\./||')
[ $bad -eq 0 ] && echo "layers: every include in src/ goes down"
exit $bad
