#!/usr/bin/env bash
# The fresh-root check: the README's two commands as a newcomer runs them, in
# a pristine Debian 12 root (mmdebstrap) with a clone of COMMIT (HEAD): the
# run command without a display until it prints its address (then Ctrl-C),
# then the test command; for each, its time, exit status and skip lines.
# --with adds packages to the root first, as a desktop or a browser would;
# --run-only stops after the run command.
# build/fresh-root/ keeps the root's tarball, the packages downloaded and the
# last output. In namespaces of its own (unshare), whatever fails, nothing
# of the root stays mounted or running.
#   scripts/fresh-root.sh [--with "PACKAGE..."] [--run-only] [COMMIT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
with="" run_only=""
while [ $# -gt 0 ]; do
    case $1 in
    --with) with=$2; shift 2 ;;
    --run-only) run_only=yes; shift ;;
    *) break ;;
    esac
done
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
# (A test cut short can leave a file immutable.)
trap 'chattr -R -i "$work" 2>/dev/null || true; rm -rf "$work"' EXIT
tar -xf "$cache/bookworm.tar" -C "$work"
git clone -q --no-checkout "$root" "$work/root/zirna"
git -C "$work/root/zirna" checkout -q "$commit"
# The machine's host names and name servers, and the certificates through
# which it reaches the registries (npm checks them).
cp /etc/resolv.conf /etc/hosts "$work/etc/"
cp /etc/ssl/certs/ca-certificates.crt "$work/etc/ssl/certs/host-ca-certificates.crt"
echo "fresh root: commit $commit${with:+, with $with} added"

unshare --mount --pid --fork --kill-child --propagation private -- \
    bash -s "$work" "$cache" "$with" "$run_only" <<'NAMESPACES'
set -euo pipefail
work=$1
mount -t proc proc "$work/proc"
mount --rbind /sys "$work/sys"
mount --rbind /dev "$work/dev"
mount -t tmpfs tmpfs "$work/tmp"
mount --bind "$2/debs" "$work/var/cache/apt/archives"
mount --bind "$2/logs" "$work/mnt"
exec chroot "$work" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    NODE_EXTRA_CA_CERTS=/etc/ssl/certs/host-ca-certificates.crt bash -s "$3" "$4" <<'NEWCOMER'
set -uo pipefail
cd /root/zirna
if [ -n "$1" ]; then
    # shellcheck disable=SC2086 # one word a package
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends $1; } >/dev/null
fi
# A job of its own, as a terminal starts one, for Ctrl-C to reach.
set -m
start=$SECONDS
scripts/run.sh >/mnt/run.log 2>&1 &
run=$!
until grep -q "open http" /mnt/run.log || ! kill -0 $run 2>/dev/null ||
    [ $((SECONDS - start)) -gt 900 ]; do
    sleep 1
done
address=$((SECONDS - start))
kill -INT -- -$run 2>/dev/null
wait $run
run_status=$?
echo "run command: the address after ${address} s; exit status $run_status after Ctrl-C"
grep "open http" /mnt/run.log || tail -n 5 /mnt/run.log
[ -z "$2" ] || exit $((run_status != 130))
start=$SECONDS
scripts/test.sh >/mnt/test.log 2>&1
test_status=$?
tests=$((SECONDS - start))
echo "test command: ${tests} s ($((tests / 60)) min $((tests % 60)) s); exit status $test_status"
grep -E '^(Skipped |Tests failed|Every test ran|[a-z0-9]+: [0-9]+ tests? skipped)' /mnt/test.log
[ "$run_status" -eq 130 ] && [ "$test_status" -eq 0 ]
NEWCOMER
NAMESPACES
