#!/usr/bin/env bash
# The Debian package as a player meets it: installed with dpkg into a fresh Debian 12 tree, started headless
# by two ordinary users, then removed. Checks that installing writes only the package's files, that each
# player's files land in that player's own data folder and nowhere else, and that removing the package keeps
# them.
#
# usage: tests/package/run.sh BUILD_DIR   (after `make package`, as root: debootstrap and chroot need it)
#
# The Debian tree is made once with debootstrap and kept in BUILD_DIR/pkgtest/bookworm (about 200 MB); every
# run works on a copy of it, inside a mount namespace of its own, so no mount outlives the run whatever
# happens. The Debian packages the game depends on are kept in BUILD_DIR/pkgtest/debs between runs.
# Ends with the line "package: N passed, N failed", or "package: skipped: WHY" when it cannot run here.
set -euo pipefail

MIRROR=${KORVA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
SUITE=bookworm

skip() {
    echo "package: skipped: $*"
    exit 0
}
die() {
    echo "package: cannot run: $*" >&2
    echo "package: 0 passed, 1 failed"
    exit 1
}

# ---- Inside the mount namespace: ROOT is the fresh tree, DEB the package ----
if [ "${1:-}" = --inside ]; then
    ROOT=$2 DEB=$3 WORK=$4 START=$5
    set +e +o pipefail  # every check is counted, and one that fails does not end the others
    passed=0 failed=0
    check() {  # check NAME COMMAND...: one line each, counted
        local name=$1
        shift
        if "$@"; then
            echo "ok - $name"
            passed=$((passed + 1))
        else
            echo "FAIL - $name"
            failed=$((failed + 1))
        fi
    }
    in_root() { chroot "$ROOT" "$@"; }
    # Files below the tree made or changed since the marker, as paths inside it. The status change time, since
    # dpkg gives unpacked files the package's own modification times. What the system itself keeps changing
    # (dpkg's and apt's books, logs, caches) is left out, and so are the mounted folders.
    changed_since() {
        (cd "$ROOT" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./sys \) -prune -o \
            -cnewer "$1" \( -type f -o -type l \) -print) | sed 's|^\.||' |
            grep -v -E '^/var/(lib/dpkg|lib/apt|cache|log)/|^/etc/ld\.so\.cache$' | sort || true
    }
    mount -t proc proc "$ROOT/proc"
    mount --bind /dev "$ROOT/dev"
    cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
    cp "$DEB" "$ROOT/tmp/korvatron.deb"

    # The libraries the package names, each the first of its alternatives, from Debian as a player gets them.
    deps=$(dpkg-deb -f "$DEB" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/ //g' | grep . | tr '\n' ' ')
    echo "package: Depends: $(dpkg-deb -f "$DEB" Depends)"
    mkdir -p "$WORK/debs"
    cp "$WORK"/debs/*.deb "$ROOT/var/cache/apt/archives/" 2>/dev/null || true
    apt_install() { in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"; }
    if ! apt_install $deps >"$WORK/apt.log" 2>&1; then
        # The tree's package lists may be older than the mirror.
        in_root apt-get update -qq >>"$WORK/apt.log" 2>&1 && apt_install $deps >>"$WORK/apt.log" 2>&1 ||
            die "apt-get could not install the dependencies ($deps); see $WORK/apt.log"
    fi
    cp "$ROOT"/var/cache/apt/archives/*.deb "$WORK/debs/" 2>/dev/null || true

    check "the package has no maintainer scripts" \
        sh -c "! dpkg-deb --ctrl-tarfile '$DEB' | tar -t | grep -q -E 'preinst|postinst|prerm|postrm'"
    touch "$ROOT/tmp/before-install"
    sleep 1  # find's -newer compares whole seconds on some file systems
    check "dpkg -i installs the package" in_root dpkg -i /tmp/korvatron.deb
    # Installing writes exactly the package's own files: nothing made by a script, nothing elsewhere.
    in_root dpkg-query -L korvatron | while read -r p; do [ -d "$ROOT$p" ] || echo "$p"; done | sort >"$WORK/listed.txt"
    changed_since "$ROOT/tmp/before-install" >"$WORK/installed.txt"
    check "installing writes only the files dpkg lists" diff -u "$WORK/listed.txt" "$WORK/installed.txt"
    for f in /usr/lib/korvatron/korvatron /usr/lib/korvatron/korvatron.pak /usr/lib/korvatron/SysFont7x14.tga \
        /usr/lib/korvatron/installed.txt /usr/share/applications/korvatron.desktop \
        /usr/share/icons/hicolor/48x48/apps/korvatron.png /usr/share/icons/hicolor/128x128/apps/korvatron.png; do
        check "$f is installed" test -s "$ROOT$f"
    done
    check "/usr/games/korvatron starts /usr/lib/korvatron/korvatron" \
        test "$(readlink -f "$ROOT/usr/games/korvatron")" = "$ROOT/usr/lib/korvatron/korvatron"

    # A short visit: the intro, then the menu's EXIT, which writes the settings and ends the program (the close
    # request is there only should it not end).
    printf '%s\n' '# the menu, EXIT' '120 tap 194 242' '600 close' >"$ROOT/tmp/visit.txt"
    chmod 644 "$ROOT/tmp/visit.txt"
    play() {  # play USER: one headless visit as that user, in a login-like environment of its own
        local user=$1 status=0
        in_root useradd -m -s /bin/sh "$user" 2>/dev/null || true
        touch "$ROOT/tmp/before-$user"
        sleep 1
        chroot --userspec="$user:$user" "$ROOT" env -i HOME="/home/$user" USER="$user" LOGNAME="$user" \
            PATH=/usr/local/bin:/usr/bin:/bin:/usr/games timeout 120 korvatron --headless --script /tmp/visit.txt \
            >"$WORK/run-$user.txt" 2>&1 || status=$?
        check "$user: the game ran and exited 0 (exit code $status; output in $WORK/run-$user.txt)" test "$status" = 0
        changed_since "$ROOT/tmp/before-$user" >"$WORK/written-$user.txt"
        local data="/home/$user/.local/share/korvatron"
        check "$user: the settings KORVA.Setup are in $data" test -s "$ROOT$data/KORVA.Setup"
        check "$user: every file the run wrote is in $data (see $WORK/written-$user.txt)" \
            sh -c "! grep -v '^$data/' '$WORK/written-$user.txt'"
        local uid
        uid=$(in_root id -u "$user")
        check "$user: the files belong to $user" sh -c "! find '$ROOT$data' ! -uid '$uid' | grep -q ."
    }
    play alice
    (cd "$ROOT/home/alice/.local/share/korvatron" && find . -type f -exec md5sum {} + | sort) >"$WORK/alice-before.txt"
    play bob
    (cd "$ROOT/home/alice/.local/share/korvatron" && find . -type f -exec md5sum {} + | sort) >"$WORK/alice-after.txt"
    check "bob's run left alice's files as they were" cmp -s "$WORK/alice-before.txt" "$WORK/alice-after.txt"

    check "dpkg -r removes the package" in_root dpkg -r korvatron
    check "the program, its data, launcher and desktop entry are gone" sh -c "! ls -d '$ROOT/usr/lib/korvatron' \
        '$ROOT/usr/games/korvatron' '$ROOT/usr/share/applications/korvatron.desktop' 2>/dev/null | grep -q ."
    for user in alice bob; do
        check "$user's files are still there after the removal" \
            test -s "$ROOT/home/$user/.local/share/korvatron/KORVA.Setup"
    done
    echo "package: the test took $(($(date +%s) - START)) s"
    echo "package: $passed passed, $failed failed"
    [ "$failed" = 0 ]
    exit
fi

# ---- Outside: the tree, the copy, the namespace ----
BUILD=${1:?usage: tests/package/run.sh BUILD_DIR}
[ "$(id -u)" = 0 ] || skip "debootstrap and chroot need root (run it as root or through sudo)"
for tool in dpkg dpkg-deb debootstrap unshare chroot; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (make package-test installs it)"
done
DEB=$(ls -t "$BUILD"/package/korvatron_*.deb 2>/dev/null | head -n 1)
[ -n "$DEB" ] || die "no package in $BUILD/package: make package first"
DEB=$(realpath "$DEB")
WORK=$(realpath "$BUILD")/pkgtest
BASE=$WORK/$SUITE
mkdir -p "$WORK"
start=$(date +%s)

if [ ! -e "$BASE/.complete" ]; then
    echo "package: making a Debian $SUITE tree in $BASE (once; debootstrap from $MIRROR)"
    rm -rf "$BASE.tmp"
    # The tree is this machine's stand-in for a player's system, not part of the package: without a mirror
    # to make it from, there is nothing to install into.
    debootstrap --variant=minbase "$SUITE" "$BASE.tmp" "$MIRROR" >"$WORK/debootstrap.log" 2>&1 ||
        skip "debootstrap could not make a Debian $SUITE tree from $MIRROR (see $WORK/debootstrap.log)"
    cat >"$BASE.tmp/etc/apt/sources.list" <<EOF
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
deb ${MIRROR%/debian}/debian-security $SUITE-security main
EOF
    cp /etc/resolv.conf "$BASE.tmp/etc/resolv.conf" 2>/dev/null || true
    chroot "$BASE.tmp" apt-get update -qq >>"$WORK/debootstrap.log" 2>&1 || die "apt-get update failed in the new tree"
    touch "$BASE.tmp/.complete"
    mv "$BASE.tmp" "$BASE"
fi

ROOT=$WORK/root
rm -rf "$ROOT"
mkdir "$ROOT"
cp -a "$BASE/." "$ROOT/"
status=0
unshare --mount --propagation private -- "$0" --inside "$ROOT" "$DEB" "$WORK" "$start" || status=$?
rm -rf "$ROOT"
exit $status
