#!/usr/bin/env bash
# The install and the Debian packages as a user gets them:
#   check_packages.sh BUILD_DIR
# `cmake --install` leaves the build tree alone; cpack builds the program and
# the sim packages; lintian finds no error or warning, and no binary without
# Debian's hardening; extracted into a throwaway root (nothing is installed
# into this system) every file is where it belongs and the paths the desktop
# entry and reader.conf.d file name exist. Then, in a private mount namespace
# (as root, which scripts/with-sim-pcscd gives), the sim package's files are
# bound where pcscd and quarnel-sim look for them: a pcscd loads its readers,
# quarnel-sim moves their cards, and the postinst and postrm restart pcscd
# where it runs and never fail.
set -euo pipefail

# Inside the private mount namespace: ROOT holds the extracted sim package
# and its control scripts in DEBIAN/; BUILD the program and sim_wait_readers.
if [ "${1:-}" = --installed ]; then
    root=$2 build=$3 work=$4
    status=0
    fail() { echo "FAIL: $*" >&2; status=1; }
    mount -t tmpfs -o mode=0755 tmpfs /run
    mkdir /run/pcscd
    mount --bind "$root/etc/reader.conf.d" /etc/reader.conf.d
    mount --bind "$root/usr/lib/pcsc" /usr/lib/pcsc
    pcscd --foreground --info >"$work/pcscd.log" 2>&1 &
    pcscd=$!
    # Waits until `list` shows reader $1 as $2; prints what it showed last when it does not.
    reader_is() {
        local shown
        for _ in $(seq 100); do
            shown=$("$build/quarnel-test-utility" list 2>&1 || true)
            grep -q "^$1: .*: $2\b" <<<"$shown" && return 0
            sleep 0.1
        done
        echo "$shown"
        return 1
    }
    if "$build/sim/sim_wait_readers" 2 10000 >/dev/null; then
        # quarnel-sim's arguments, then the reader and the state `list` shows after it
        while IFS='|' read -r arguments reader state; do
            read -r -a words <<<"$arguments"
            echo "\$ quarnel-sim $arguments"
            "$root/usr/bin/quarnel-sim" "${words[@]}" || fail "quarnel-sim $arguments: exit status $?"
            reader_is "$reader" "$state" || fail "after quarnel-sim $arguments, reader $reader is not $state"
        done <<'EOF'
remove|0|EMPTY
insert|0|PRESENT
unplug|0|UNAVAILABLE
replug|0|PRESENT
--reader 1 insert|1|PRESENT
--reader 1 remove|1|EMPTY
EOF
    else
        fail "pcscd did not load the sim package's readers"
        tail -n 30 "$work/pcscd.log" >&2
    fi
    kill "$pcscd"
    wait "$pcscd" || true

    # Stand-ins for the init system's tools record their calls; they fail,
    # except `status`, which answers $STUB_STATUS.
    mkdir "$work/stubs"
    for tool in deb-systemd-invoke invoke-rc.d; do
        # shellcheck disable=SC2016
        printf '#!/bin/sh\necho "${0##*/} $*" >>"$STUB_LOG"\n[ "$3" != status ] || exit "$STUB_STATUS"\nexit 1\n' \
            >"$work/stubs/$tool"
        chmod +x "$work/stubs/$tool"
    done
    # The script and its argument, whether systemd runs, pcscd's status, the calls expected
    while IFS='|' read -r script argument systemd running expected; do
        rm -rf /run/systemd "$work/calls"
        touch "$work/calls"
        [ "$systemd" = 0 ] || mkdir -p /run/systemd/system
        mkdir -p /run/quarnel-sim
        touch /run/quarnel-sim/reader0.ctl
        PATH=$work/stubs:/usr/bin:/bin STUB_LOG=$work/calls STUB_STATUS=$running \
            sh -e "$root/DEBIAN/$script" "$argument" || fail "$script $argument fails (systemd $systemd)"
        calls=$(paste -sd'|' "$work/calls")
        [ "$calls" = "$expected" ] \
            || fail "$script $argument (systemd $systemd, status $running) called '$calls', not '$expected'"
        if [ "$script $argument" = "postrm remove" ] && [ -e /run/quarnel-sim ]; then
            fail "postrm remove leaves /run/quarnel-sim"
        fi
    done <<'EOF'
postinst|configure|1|0|deb-systemd-invoke try-restart pcscd.service
postinst|configure|0|0|invoke-rc.d --quiet pcscd status|invoke-rc.d --quiet pcscd restart
postinst|configure|0|3|invoke-rc.d --quiet pcscd status
postinst|abort-upgrade|1|0|
postrm|remove|1|0|deb-systemd-invoke try-restart pcscd.service
postrm|remove|0|3|invoke-rc.d --quiet pcscd status
postrm|upgrade|1|0|
postrm|purge|0|0|
EOF
    exit "$status"
fi

source=$(realpath "$(dirname "$0")/../..")
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
run() { echo "\$ $*"; "$@"; }

# CMake itself records what it installed in install_manifest*.txt; nothing
# else may change (ctest writes its own log under Testing/).
touch "$work/before"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
DESTDIR="$work/destdir" cmake --install "$build" --component sim >/dev/null
written=$(find "$build" -newer "$work/before" -type f ! -name 'install_manifest*.txt' ! -path "$build/Testing/*")
[ -z "$written" ] || fail "cmake --install wrote into the build tree: $written"

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
program=$(echo "$work"/out/quarnel-test-utility_*.deb)
sim=$(echo "$work"/out/quarnel-test-utility-sim_*.deb)
[ -f "$program" ] && [ -f "$sim" ] || { ls "$work/out" >&2; fail "cpack did not build both packages"; exit 1; }

for deb in "$program" "$sim"; do
    run dpkg-deb -I "$deb"
    run dpkg-deb -c "$deb"
done
depends=$(dpkg-deb -f "$program" Depends)
for needed in libqt6widgets6 libpcsclite1 qt6-qpa-plugins; do
    [[ $depends == *"$needed"* ]] || fail "the program does not depend on $needed: $depends"
done
[[ $(dpkg-deb -f "$sim" Depends) == *pcscd* ]] || fail "the sim does not depend on pcscd"
recommends=$(dpkg-deb -f "$program" Recommends)
for wanted in pcscd pcsc-tools xdg-utils; do
    [[ ", $recommends," == *", $wanted,"* ]] || fail "the program does not recommend $wanted: $recommends"
done
homepage=$(sed -n 's|.*<url type="homepage">\(.*\)</url>.*|\1|p' "$source/packaging/org.quarnel.TestUtility.metainfo.xml")
for deb in "$program" "$sim"; do
    [ -n "$homepage" ] && [ "$(dpkg-deb -f "$deb" Homepage)" = "$homepage" ] \
        || fail "$(basename "$deb") has not the metainfo's homepage $homepage as its Homepage"
done
dpkg-deb -I "$sim" conffiles | grep -qx /etc/reader.conf.d/quarnel-sim || fail "reader.conf.d file is no conffile"

run lintian --fail-on error,warning "$program" "$sim" || fail "lintian"
# Missing hardening is only an info to lintian: none may show.
hardening=$(lintian --tags hardening-no-bindnow,hardening-no-fortify-functions,hardening-no-relro,hardening-no-pie \
    "$program" "$sim" 2>&1 | grep -v 'running with root privileges' || true)
[ -z "$hardening" ] || fail "binaries without Debian's hardening: $hardening"

cd "$work"
for deb in program sim; do dpkg -x "${!deb}" "$deb"; done
dpkg-deb -e "$sim" sim/DEBIAN
for file in program/usr/bin/quarnel-test-utility program/usr/share/quarnel-test-utility/qrnlhelp.htm \
    program/usr/share/applications/org.quarnel.TestUtility.desktop \
    program/usr/share/metainfo/org.quarnel.TestUtility.metainfo.xml \
    program/usr/share/icons/hicolor/scalable/apps/org.quarnel.TestUtility.svg \
    program/usr/share/icons/hicolor/48x48/apps/org.quarnel.TestUtility.png \
    program/usr/share/man/man1/quarnel-test-utility.1.gz program/usr/share/doc/quarnel-test-utility/copyright \
    sim/etc/reader.conf.d/quarnel-sim sim/usr/share/doc/quarnel-test-utility-sim/copyright \
    sim/usr/bin/quarnel-sim sim/usr/share/man/man1/quarnel-sim.1.gz sim/DEBIAN/postinst sim/DEBIAN/postrm; do
    [ -f "$file" ] || fail "missing $file"
done
[ ! -e program/etc ] || fail "the program package ships /etc"

entry=program/usr/share/applications/org.quarnel.TestUtility.desktop
run desktop-file-validate "$entry" || fail "desktop-file-validate"
run appstreamcli validate-tree --no-net program || fail "appstreamcli validate-tree"
exec=$(sed -n 's/^Exec="\(.*\)"$/\1/p' "$entry")
[ -x "program$exec" ] || fail "Exec names no program in the package: $exec"
[ -f "program$(sed -n 's/^Path=//p' "$entry")/qrnlhelp.htm" ] || fail "Path is not the help page's folder"
grep -q "<release version=\"$(dpkg-deb -f "$program" Version)\"" program/usr/share/metainfo/*.xml \
    || fail "the metainfo's releases lack the package version"
# The About box reads the version back from this note: stripping must keep it.
readelf -n program/usr/bin/quarnel-test-utility | grep -q Quarnel || fail "the packaged program lost its version note"
# The program opens its window from the library the package puts where the
# program looks for it, and a command never needs Qt's GUI libraries.
[ -f program/usr/lib/*/quarnel-test-utility/quarnel-test-utility-window.so ] \
    || fail "the window's library is not in the program's library folder"
! readelf -d program/usr/bin/quarnel-test-utility | grep -q -E 'libQt6(Widgets|Gui|Charts|OpenGL)' \
    || fail "the program itself links Qt's GUI libraries"
for driver in $(awk '$1 == "LIBPATH" { print $2 }' sim/etc/reader.conf.d/quarnel-sim); do
    [ -f "sim$driver" ] || fail "LIBPATH names no driver in the sim package: $driver"
done
# Log lines and texts name no folder of the machine that built them.
for binary in sim/usr/lib/pcsc/drivers/serial/libifd_quarnel_sim.so program/usr/bin/quarnel-test-utility; do
    built=$(strings "$binary" | grep -F "$source/" || true)
    [ -z "$built" ] || fail "$binary holds the source folder: $built"
done

run unshare --mount --propagation private "$(realpath "$0")" --installed "$work/sim" "$build" "$work" \
    || fail "the installed sim package"
exit "$status"
