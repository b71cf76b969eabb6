#!/usr/bin/env bash
# Builds and tests the committed tree on Debian 13 (trixie): makes a minimal trixie chroot in
# build/debian13/root (once; a complete one is used again), copies HEAD into it with git archive and
# runs the README's test command, bash scripts/test.sh, in it as root. The packages come from the
# mirror that this machine's own apt sources name. Prints how long each phase took and every compiler
# warning of the build, which also stay in build/debian13/test.log and build/debian13/warnings.txt.
#
#   bash scripts/debian13-check.sh          # needs root (or sudo); the tests' status is its status
#
# Set BUILD_LOCK to a file to hold flock on it while building and testing, on a machine whose cores
# are shared with other builds. DEBIAN13_MIRROR overrides the mirror.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || exec sudo --preserve-env=BUILD_LOCK,DEBIAN13_MIRROR bash "$0" "$@"

project=$PWD
work=$project/build/debian13
target=$work/root
# Written once the chroot is fully made; without it a chroot is a broken attempt and is made again.
complete=$target/.debian13-check-complete
copy=/root/esp8266-console

say() { echo "debian13: $*"; }
fail() { echo "debian13: $*" >&2; exit 1; }
git() { command git -c safe.directory="$project" "$@"; }

# The mirror of the main Debian archive from apt's sources: deb822 files (a stanza whose suites
# include a release without a dash, so not -updates or -security) or classic one-line sources.
host_mirror() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk 'function done_stanza() { if (uris != "" && main && enabled) { split(uris, u, " "); print u[1]; found = 1; exit } }
             BEGIN { uris = ""; main = 0; enabled = 1 }
             /^[ \t]*$/ { done_stanza(); uris = ""; main = 0; enabled = 1; next }
             /^[ \t]*#/ { next }
             tolower($1) == "uris:" { $1 = ""; uris = $0 }
             tolower($1) == "enabled:" && tolower($2) == "no" { enabled = 0 }
             tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i !~ /-/) main = 1 }
             END { if (!found) done_stanza() }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        # deb [options] URI suite components...
        awk '$1 == "deb" { i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ } if ($(i + 1) !~ /-/) print $i }' "$f"
    done
}

mirror=${DEBIAN13_MIRROR:-$(host_mirror | head -n 1)}
[ -n "$mirror" ] || fail "no Debian mirror found in /etc/apt/sources.list or /etc/apt/sources.list.d"
mirror=${mirror%/}

mkdir -p "$work"
# One run at a time: two would share the chroot and its mounts.
exec 9>"$work/.lock"
flock -n 9 || fail "another run holds $work/.lock"

mounted_below() { # prints the mount points at or below the chroot, deepest first
    awk -v root="$target" '$5 == root || index($5, root "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

unmount_all() {
    local point points
    mapfile -t points < <(mounted_below)
    for point in "${points[@]}"; do
        umount "$point" 2>/dev/null || umount -l "$point" || echo "debian13: could not unmount $point" >&2
    done
}
# An interrupted run stops what it started in the chroot (the process group in_chroot below made and
# noted in .group while it runs) before taking its mounts away.
stop_and_unmount() {
    # A signal may arrive inside "IFS= read" below, whose IFS the handler would otherwise inherit.
    local group IFS=$' \t\n'
    group=$(cat "$work/.group" 2>/dev/null || true)
    if [ -n "$group" ] && kill -0 -- "-$group" 2>/dev/null; then
        kill -TERM -- "-$group" 2>/dev/null || true
        sleep 2
        kill -KILL -- "-$group" 2>/dev/null || true
    fi
    rm -f "$work/.group"
    unmount_all
}
trap stop_and_unmount EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A bind mount left behind by a killed run is taken down first, so that nothing below removes or
# writes through into the host's /dev.
rm -f "$work/.group"
unmount_all
[ -z "$(mounted_below)" ] || fail "$target still has mounts; not touching it"

phase_start=$SECONDS
if [ -f "$complete" ]; then
    say "using the chroot in $target"
else
    command -v debootstrap >/dev/null || {
        apt-get update -q
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends debootstrap
    }
    rm -rf --one-file-system "$target"
    say "making a trixie chroot in $target from $mirror"
    debootstrap --variant=minbase trixie "$target" "$mirror" >"$work/debootstrap.log" 2>&1 || {
        tail -n 30 "$work/debootstrap.log" >&2
        fail "debootstrap failed; its log is $work/debootstrap.log"
    }
    rm -f "$target/etc/apt/sources.list"
    cat >"$target/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: trixie trixie-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    # No service is started by a package's installation inside the chroot.
    printf '#!/bin/sh\nexit 101\n' >"$target/usr/sbin/policy-rc.d"
    chmod 755 "$target/usr/sbin/policy-rc.d"
    touch "$complete"
fi
debootstrap_seconds=$((SECONDS - phase_start))
cp -L /etc/resolv.conf "$target/etc/resolv.conf"

# A clean copy of the committed tree: no build folders or uncommitted changes from this checkout.
[ -z "$(git status --porcelain --untracked-files=no)" ] || say "uncommitted changes are not tested, only HEAD"
rm -rf --one-file-system "$target$copy"
mkdir -p "$target$copy"
git archive --format=tar HEAD | tar -x -C "$target$copy"
say "testing $(git rev-parse --short HEAD)"

mount -t proc proc "$target/proc"
mount --bind /dev "$target/dev"
mount --bind /dev/pts "$target/dev/pts"
mount -t tmpfs -o mode=1777,nosuid,nodev shm "$target/dev/shm"

# Runs a command line in the copy of the project, as root, with a clean environment, in a process group
# of its own so that an interruption can stop all of it. The locks' descriptors stay out here: a
# process left running in the chroot must not go on holding them.
in_chroot() {
    # $$ of the inner shell is the new group's leader.
    setsid bash -c 'echo $$ >"$1"; shift; exec "$@"' in-chroot "$work/.group" chroot "$target" /usr/bin/env -i \
        HOME=/root LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "cd $copy && $1" 8>&- 9>&-
}

phase_start=$SECONDS
in_chroot "bash scripts/setup.sh" >"$work/setup.log" 2>&1 || {
    tail -n 30 "$work/setup.log" >&2
    fail "installing the packages failed; the log is $work/setup.log"
}
rm -f "$work/.group"
install_seconds=$((SECONDS - phase_start))

# scripts/test.sh builds, then runs ctest, whose first line is "Test project ...": the time of that
# line splits the build from the tests.
if [ -n "${BUILD_LOCK:-}" ]; then
    exec 8>>"$BUILD_LOCK"
    say "waiting for $BUILD_LOCK"
    flock 8
fi
phase_start=$SECONDS
tests_started=
exec 7< <(in_chroot "bash scripts/test.sh 2>&1; echo \"test.sh status \$?\"")
while IFS= read -r line <&7; do
    printf '%s\n' "$line"
    if [ -z "$tests_started" ] && [[ $line == "Test project "* ]]; then
        tests_started=$SECONDS
    fi
done >"$work/test.log"
exec 7<&-
rm -f "$work/.group"
end=$SECONDS
[ -n "${BUILD_LOCK:-}" ] && exec 8>&-
status=$(sed -n 's/^test.sh status //p' "$work/test.log")
status=${status:-1}
tests_started=${tests_started:-$end}
build_seconds=$((tests_started - phase_start))
test_seconds=$((end - tests_started))

grep -E 'warning:|CMake Warning' "$work/test.log" | sed "s|$copy/||" | sort -u >"$work/warnings.txt" || true
say "compiler warnings: $(wc -l <"$work/warnings.txt")"
sed 's/^/  /' "$work/warnings.txt"
say "$(grep -E '^[0-9]+% tests passed' "$work/test.log" || echo "the tests did not finish")"
say "seconds: chroot $debootstrap_seconds, packages $install_seconds, build $build_seconds, tests $test_seconds"
if [ "$status" -ne 0 ]; then
    grep -E -A3 '^The following tests FAILED|\*\*\*Failed|Error [0-9]+' "$work/test.log" | tail -n 40 >&2 || true
    fail "bash scripts/test.sh failed on Debian 13 (status $status); the log is $work/test.log"
fi
say "bash scripts/test.sh passed on Debian 13"
