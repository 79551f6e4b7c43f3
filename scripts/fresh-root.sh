#!/usr/bin/env bash
# The fresh-root check: the README's two commands as a newcomer runs them, in
# a pristine Debian 12 root (mmdebstrap) with a clone of COMMIT (HEAD): the
# run command without a display until it prints its address (then Ctrl-C),
# then the test command; for each, its time, exit status and skip lines.
# --with adds packages to the root first, as a desktop or a browser would;
# --run-only stops after the run command. --github instead runs the Linux
# jobs of the GitHub workflows, each in a pristine root of its own, as a
# container job gets them: their run: steps as root
# (scripts/lib/github_jobs.py), with CI and the GITHUB_ variables set, in a
# checkout that belongs to another user (uid 1001).
# build/fresh-root/ keeps the root's tarball, the packages downloaded and the
# last output. In namespaces of its own (unshare), whatever fails, nothing
# of the root stays mounted or running.
#   scripts/fresh-root.sh [--with "PACKAGE..."] [--run-only] [COMMIT]
#   scripts/fresh-root.sh --github [COMMIT]
set -euo pipefail
shopt -s inherit_errexit
root=$(cd "$(dirname "$0")/.." && pwd)
with="" run_only="" github=""
while [ $# -gt 0 ]; do
    case $1 in
    --with) with=$2; shift 2 ;;
    --run-only) run_only=yes; shift ;;
    --github) github=yes; shift ;;
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
work=""
# (A test cut short can leave a file immutable.)
remove_root() {
    [ -z "$work" ] || { chattr -R -i "$work" 2>/dev/null || true; rm -rf "$work" "$work.sh"; }
    work=""
}
trap remove_root EXIT

# in_root CHECKOUT ARGS... <SCRIPT: the bash script on standard input, run
# with ARGS as root in a pristine root that holds a clone of the commit at
# CHECKOUT, and in that directory; with the machine's host names, name
# servers and the certificates through which it reaches the registries (npm
# checks them).
in_root() {
    local checkout=$1 status=0
    shift
    work=$(mktemp -d "$cache/root.XXXXXX")
    cat >"$work.sh"
    tar -xf "$cache/bookworm.tar" -C "$work"
    git clone -q --no-checkout "$root" "$work$checkout"
    git -C "$work$checkout" checkout -q "$commit"
    cp /etc/resolv.conf /etc/hosts "$work/etc/"
    cp /etc/ssl/certs/ca-certificates.crt "$work/etc/ssl/certs/host-ca-certificates.crt"
    mv "$work.sh" "$work/fresh-root.sh"
    unshare --mount --pid --fork --kill-child --propagation private -- \
        bash -s "$work" "$cache" "$checkout" "$@" <<'NAMESPACES' || status=$?
set -euo pipefail
work=$1
mount -t proc proc "$work/proc"
mount --rbind /sys "$work/sys"
mount --rbind /dev "$work/dev"
mount -t tmpfs tmpfs "$work/tmp"
mount --bind "$2/debs" "$work/var/cache/apt/archives"
mount --bind "$2/logs" "$work/mnt"
exec chroot "$work" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    NODE_EXTRA_CA_CERTS=/etc/ssl/certs/host-ca-certificates.crt \
    bash -c 'cd "$0" && exec bash /fresh-root.sh "$@"' "${@:3}"
NAMESPACES
    remove_root
    return "$status"
}

if [ -n "$github" ]; then
    version=$(git -C "$root" show "$commit:CMakeLists.txt" | sed -n 's/^project(zirna VERSION \([0-9.]*\).*/\1/p')
    workspace=/__w/zirna/zirna
    rm -rf "$cache/logs/github" "$cache/workflows"
    mkdir -p "$cache/workflows"
    git -C "$root" archive "$commit" .github/workflows | tar -x -C "$cache/workflows"
    # The commit's jobs, with the variables that GitHub sets and the steps
    # read; a tag's run for the release workflow.
    jobs=$(/usr/bin/python3 "$root/scripts/lib/github_jobs.py" "$cache/workflows" "$cache/logs/github" \
        CI=true GITHUB_ACTIONS=true GITHUB_WORKSPACE=$workspace GITHUB_REPOSITORY=OWNER/zirna \
        GITHUB_REF_NAME="v$version" HOME=/github/home)
    failed=0
    for job in $jobs; do
        echo "fresh root: commit $commit, the GitHub job $job, the checkout owned by uid 1001"
        start=$SECONDS
        status=0
        # shellcheck disable=SC2016 # the root's shell expands them
        in_root "$workspace" "$job" >"$cache/logs/$job.log" 2>&1 <<'JOB' || status=$?
mkdir -p /github/home
chown -R 1001:1001 /__w
bash -e "/mnt/github/$1.sh"
JOB
        echo "$job: $((SECONDS - start)) s; exit status $status"
        grep -E '^(== step|Tests failed|No test was skipped|[a-z0-9]+: [0-9]+ tests? skipped|[a-z-]+: every step)' \
            "$cache/logs/$job.log" || true
        [ "$status" -eq 0 ] || { tail -n 20 "$cache/logs/$job.log"; failed=1; }
    done
    exit "$failed"
fi

echo "fresh root: commit $commit${with:+, with $with} added"
in_root /root/zirna "$with" "$run_only" <<'NEWCOMER'
set -uo pipefail
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
grep -E '^(Skipped |Tests failed|No test was skipped|[a-z0-9]+: [0-9]+ tests? skipped)' /mnt/test.log
[ "$run_status" -eq 130 ] && [ "$test_status" -eq 0 ]
NEWCOMER
