#!/usr/bin/env bash
# The fresh-root check: the README's two commands as a newcomer runs them, in
# a pristine Debian 12 root (mmdebstrap) holding a clone of one commit. First
# the run command without a display, until it prints its address (then
# Ctrl-C), then the test command; for each, its time, exit status and skip
# lines. Too slow for the test command; run it before changing what is
# installed, the scripts or the tests.
#
#   scripts/fresh-root.sh [--with "PACKAGE..."] [COMMIT]
#
# --with installs those packages into the root first, as a desktop or a
# browser would have brought them, to catch a dependence on what the host
# has. COMMIT is HEAD unless given. The root's tarball and the packages that
# runs download are kept in build/fresh-root/, the last run's output too.
# The root runs in mount and PID namespaces of its own (unshare): whatever
# fails, its mounts and its processes end with it, and nothing is left on the
# host.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
with=""
if [ "${1:-}" = --with ]; then
    with=$2
    shift 2
fi
commit=$(git -C "$root" rev-parse --verify "${1:-HEAD}^{commit}")
"$root/scripts/install-deps.sh" fresh-root
cache=$root/build/fresh-root
mkdir -p "$cache/debs" "$cache/logs"
if [ ! -f "$cache/bookworm.tar" ]; then
    mirror=http://deb.debian.org/debian
    mmdebstrap --quiet --variant=apt --include=ca-certificates,git --format=tar bookworm \
        "$cache/bookworm.tar.new" "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
        "deb $mirror-security bookworm-security main"
    mv "$cache/bookworm.tar.new" "$cache/bookworm.tar"
fi
work=$(mktemp -d "$cache/root.XXXXXX")
# (A test cut short may leave a file immutable.)
trap 'chattr -R -i "$work" 2>/dev/null; rm -rf "$work"' EXIT
tar -xf "$cache/bookworm.tar" -C "$work"
git clone -q --no-checkout "$root" "$work/root/zirna"
git -C "$work/root/zirna" checkout -q "$commit"
# The machine's own ways out: its name servers, and the certificates through
# which it reaches the registries (npm checks them).
cp /etc/resolv.conf "$work/etc/"
cp /etc/ssl/certs/ca-certificates.crt "$work/etc/ssl/certs/host-ca-certificates.crt"
echo "fresh root: commit $commit${with:+, with $with} added"

unshare --mount --pid --fork --kill-child --propagation private -- \
    bash -s "$work" "$cache" "$with" <<'NAMESPACES'
set -euo pipefail
work=$1
mount -t proc proc "$work/proc"
mount --rbind /sys "$work/sys"
mount --rbind /dev "$work/dev"
mount -t tmpfs tmpfs "$work/tmp"
mount --bind "$2/debs" "$work/var/cache/apt/archives"
mount --bind "$2/logs" "$work/mnt"
exec chroot "$work" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    NODE_EXTRA_CA_CERTS=/etc/ssl/certs/host-ca-certificates.crt bash -s "$3" <<'NEWCOMER'
set -uo pipefail
cd /root/zirna
if [ -n "$1" ]; then
    # shellcheck disable=SC2086 # one word a package
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends $1; } >/dev/null
fi
start=$SECONDS
setsid scripts/run.sh >/mnt/run.log 2>&1 &
run=$!
until grep -q "open http" /mnt/run.log || ! kill -0 $run 2>/dev/null ||
    [ $((SECONDS - start)) -gt 900 ]; do
    sleep 1
done
address=$((SECONDS - start))
kill -INT -- -$run 2>/dev/null
wait $run
run_status=$?
start=$SECONDS
scripts/test.sh >/mnt/test.log 2>&1
test_status=$?
tests=$((SECONDS - start))
echo "run command: the address after ${address} s; exit status $run_status after Ctrl-C"
grep "open http" /mnt/run.log || tail -n 5 /mnt/run.log
echo "test command: ${tests} s ($((tests / 60)) min $((tests % 60)) s); exit status $test_status"
grep -E '^(Skipped |Tests failed|Every test ran|[a-z0-9]+: [0-9]+ tests? skipped)' /mnt/test.log
[ "$run_status" -eq 130 ] && [ "$test_status" -eq 0 ]
NEWCOMER
NAMESPACES
