#!/usr/bin/env bash
# Checks what an installation delivers: the install tree (exact file list, desktop entries, AppStream
# metainfo), then the Debian package (control fields, run-time dependencies, file list, modes) and
# the tree it unpacks to. Usage: scripts/check-install.sh [build-dir]; builds there when needed.
# Runs unprivileged or as root, without a terminal.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
VESK_WITH_PACKAGING=1 bash scripts/setup.sh
build=${1:-${VESK_BUILD_DIR:-build}}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_WERROR=ON >/dev/null
fi
cmake --build "$build"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt"; exit 1; }
scratch=$(mktemp -d /tmp/vesk-check.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Every file an installation holds, relative to the prefix, and its mode.
expected="\
755 bin/vesk-mqtt
755 bin/vesk-sim
755 bin/veskctl
755 bin/veskpanel
755 bin/veskpanel-classic
644 lib/systemd/system/vesk-mqtt.service
644 lib/sysusers.d/vesk-mqtt.conf
644 $libdir/veskpanel/vesk-tcp.so
644 share/applications/example.vesk_power.veskpanel.desktop
644 share/applications/example.vesk_power.veskpanel_classic.desktop
644 share/bash-completion/completions/veskctl
644 share/doc/veskpanel/CHANGELOG.md
644 share/doc/veskpanel/README.md
644 share/doc/veskpanel/docs/console.md
644 share/doc/veskpanel/docs/development.md
644 share/doc/veskpanel/docs/mqtt.md
644 share/doc/veskpanel/docs/simulator.md
644 share/doc/veskpanel/docs/speed.md
644 share/doc/veskpanel/docs/veskctl.md
644 share/doc/veskpanel/examples/labgrid-vesk.yaml
644 share/doc/veskpanel/examples/pdudaemon.conf
644 share/doc/veskpanel/examples/vesk-mqtt.conf
644 share/doc/veskpanel/examples/vesk-mqtt.logrotate
644 share/icons/hicolor/scalable/apps/example.vesk_power.veskpanel.svg
644 share/man/man1/veskctl.1
644 share/metainfo/example.vesk_power.veskpanel.metainfo.xml
644 share/metainfo/example.vesk_power.veskpanel_classic.metainfo.xml"

# Lists the files (and symlinks) under $1/usr with their modes, sorted.
tree_list() { (cd "$1/usr" && find . \( -type f -o -type l \) -printf '%m %P\n' | sort -k2); }
compare() { # what, expected, actual
    if [ "$2" = "$3" ]; then pass "$1"; else
        fail "$1"; diff <(echo "$2") <(echo "$3") | sed 's/^/    /' || true
    fi
}
# Validates the desktop entries and the metainfo of an unpacked tree.
validate_tree() { # what, root
    local root=$2/usr/share f
    for f in "$root"/applications/*.desktop; do
        if out=$(desktop-file-validate "$f" 2>&1) && [ -z "$out" ]; then pass "$1: $(basename "$f")"
        else fail "$1: $(basename "$f")"; echo "$out" | sed 's/^/    /'; fi
    done
    for f in "$root"/metainfo/*.metainfo.xml; do
        if out=$(appstreamcli validate --no-net --pedantic --no-color "$f" 2>&1); then
            pass "$1: $(basename "$f")"
        else fail "$1: $(basename "$f")"; echo "$out" | sed 's/^/    /'; fi
        grep -q "<release version=\"$version\"" "$f" || fail "$1: $(basename "$f") has no release $version"
    done
    # Each launchable names an installed desktop entry, each entry an installed icon.
    for f in "$root"/metainfo/*.metainfo.xml; do
        local desktop
        desktop=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$f")
        [ -f "$root/applications/$desktop" ] || fail "$1: $(basename "$f") launches missing $desktop"
    done
    for f in "$root"/applications/*.desktop; do
        local icon exec
        icon=$(sed -n 's/^Icon=//p' "$f")
        exec=$(sed -n 's/^Exec=//p' "$f")
        [ -f "$root/icons/hicolor/scalable/apps/$icon.svg" ] ||
            fail "$1: $(basename "$f") names missing icon $icon"
        [ -x "$2/usr/bin/$exec" ] || fail "$1: $(basename "$f") runs missing program $exec"
    done
}

echo "== Install tree (cmake --install, DESTDIR) =="
DESTDIR="$scratch/install" cmake --install "$build" --prefix /usr >/dev/null
compare "install tree file list" "$expected" "$(tree_list "$scratch/install")"
validate_tree "install tree" "$scratch/install"

echo "== Debian package (cpack) =="
(cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null) || { fail "cpack"; exit 1; }
debs=("$scratch"/package/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "exactly one .deb, got: ${debs[*]}"; exit 1; fi
deb=${debs[0]}
echo "built $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"
compare "package name and version" "veskpanel $version" \
    "$(dpkg-deb -f "$deb" Package Version | sed 's/^[A-Za-z]*: //' | paste -sd' ')"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"

# Run-time dependencies, one clause a line with version bounds dropped: the Qt libraries found by
# dpkg-shlibdeps, and what Qt loads at run time that no linker sees.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/([^)]*)//g; s/  */ /g; s/^ //; s/ $//' | sort)
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
for clause in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6network6 \
              libmosquitto1 \
              qt6-qpa-plugins qt6-translations-l10n \
              "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei | fonts-arphic-uming"; do
    if grep -qxF "$clause" <<<"$depends"; then pass "depends on $clause"
    else fail "no dependency on $clause"; fi
done
grep -q 'libqt6test6\|qt6-base-dev' <<<"$depends" && fail "depends on a build-only package"

# The file list inside the package: regular files under /usr only, owned by root.
listing=$(dpkg-deb -c "$deb")
modes='BEGIN { m["-rwxr-xr-x"] = 755; m["-rw-r--r--"] = 644 }
       $1 !~ /^d/ { sub(/^\.\//, "", $6); print ($1 in m ? m[$1] : $1), $6 }'
compare "package file list" "$(sed 's: : usr/:' <<<"$expected")" "$(awk "$modes" <<<"$listing" | sort -k2)"
if awk '$2 != "root/root" {print "    " $0; bad = 1} END {exit bad}' <<<"$listing"; then
    pass "package files owned by root"
else fail "package files not owned by root"; fi

echo "== Unpacked package =="
dpkg-deb -x "$deb" "$scratch/root"
compare "unpacked file list" "$(cut -d' ' -f2 <<<"$expected")" "$(tree_list "$scratch/root" | cut -d' ' -f2)"
validate_tree "unpacked" "$scratch/root"
for program in veskpanel veskpanel-classic vesk-sim veskctl vesk-mqtt; do
    binary="$scratch/root/usr/bin/$program"
    if readelf -S "$binary" | grep -q '\.debug_info'; then fail "$program is not stripped"; fi
    if missing=$(ldd "$binary" | grep 'not found'); then fail "$program: $missing"; fi
done
if "$scratch/root/usr/bin/vesk-sim" --help >/dev/null; then pass "unpacked vesk-sim runs"
else fail "unpacked vesk-sim runs"; fi
if "$scratch/root/usr/bin/veskctl" --dry-run status >/dev/null; then pass "unpacked veskctl runs"
else fail "unpacked veskctl runs"; fi
# The TCP module is found from the installed program: a closed local port is refused, not missing.
if out=$("$scratch/root/usr/bin/veskctl" -p tcp://127.0.0.1:1 status 2>&1); [[ $out == *refused* ]]; then
    pass "unpacked veskctl loads its TCP module"
else fail "unpacked veskctl loads its TCP module: $out"; fi
if "$scratch/root/usr/bin/vesk-mqtt" --check-config \
    --config "$scratch/root/usr/share/doc/veskpanel/examples/vesk-mqtt.conf" >/dev/null; then
    pass "unpacked vesk-mqtt accepts its example configuration"
else fail "unpacked vesk-mqtt accepts its example configuration"; fi
if dpkg-deb -e "$deb" "$scratch/control" && [ -x "$scratch/control/postinst" ] &&
    ! grep -q 'systemctl \(enable\|start\)' "$scratch/control/postinst"; then
    pass "postinst present and starts no service"
else fail "postinst present and starts no service"; fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "All install and package checks passed ($(basename "$deb"))."
