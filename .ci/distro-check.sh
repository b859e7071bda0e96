#!/usr/bin/env bash
# Runs what CI runs on another Debian release, from nothing: a minimal root file system of that
# release (debootstrap), a clone of this checkout's HEAD inside it, and .ci/run there, which
# installs make and `make test` what else it needs. It shows that the library builds and passes
# with that release's compilers, expat and GoogleTest. Not part of `make test`: it downloads a
# whole system.
#   bash .ci/distro-check.sh [SUITE]      (as root on Debian; SUITE defaults to trixie)
# The root stays in /srv/qorutils-SUITE, and the next run reuses it.
set -euo pipefail
cd "$(dirname "$0")/.."
suite=${1:-trixie}
root=/srv/qorutils-$suite
if ! command -v debootstrap >/dev/null; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
fi
# A release newer than this machine's debootstrap is bootstrapped as unstable is.
script=/usr/share/debootstrap/scripts/$suite
[ -e "$script" ] || script=/usr/share/debootstrap/scripts/sid
[ -x "$root/usr/bin/apt-get" ] ||
    debootstrap --variant=minbase "$suite" "$root" http://deb.debian.org/debian "$script"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A mirror kept as a snapshot serves Release files past their date; this throwaway root takes
# them, as the machine's own apt does its mirror.
echo 'Acquire::Check-Valid-Until "false";' >"$root/etc/apt/apt.conf.d/99qorutils-snapshot"

# The tests need /proc, /dev and /sys; slave mounts, so that taking them down again leaves the
# machine's own alone.
unmount() { umount -R "$root/proc" "$root/dev" "$root/sys" 2>/dev/null || true; }
trap unmount EXIT
mount -t proc proc "$root/proc"
for fs in dev sys; do
    mount --rbind "/$fs" "$root/$fs"
    mount --make-rslave "$root/$fs"
done

rm -rf "$root/work/qorutils"
mkdir -p "$root/work"
git clone -q --no-hardlinks . "$root/work/qorutils"
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    bash /work/qorutils/.ci/run
