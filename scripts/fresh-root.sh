#!/usr/bin/env bash
# The fresh-root check: the README's commands as a newcomer meets them, in a
# pristine Debian 12 root made like the debian:12 image (mmdebstrap minbase:
# no git, no certificates), run by Podman (runc, its default security
# profile) under an overlay, with a clone of COMMIT (HEAD) mounted in.
#   fresh-root.sh [--with "PACKAGE..."] [--run-only] [--docker] [COMMIT]
#       the run command without a display until its address (then Ctrl-C),
#       then the test command: times, exit statuses, skip lines. --with adds
#       packages first; --docker refuses ADDR_NO_RANDOMIZE with EPERM, as
#       Docker's default profile does (Podman's answers ENOSYS).
#   fresh-root.sh --container [COMMIT]
#       the README's container line, podman for docker and the root for the
#       image; then the browser test, from here, through the published port.
#   fresh-root.sh --github [COMMIT]
#       the workflows' Linux jobs in their needs order, with artefacts
#       (lib/github_jobs.py), each in a container with its own options, as
#       GitHub starts one: `tail -f /dev/null` as PID 1, no LANG, steps run
#       through podman exec, checkout and /github/home owned by uid 1001. An
#       option that cannot be applied here stops the job, saying so.
# build/fresh-root/ keeps the root, the packages and the logs. The host's
# name servers and certificates (npm checks them) are lent; Podman's default
# open-file limits are dropped (raising them needs CAP_SYS_RESOURCE).
set -euo pipefail
shopt -s inherit_errexit
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=lib/step.sh
source "$root/scripts/lib/step.sh"
with="" run_only="" mode=newcomer seccomp=()
while [ $# -gt 0 ]; do
    case $1 in
    --with) with=$2; shift 2 ;;
    --run-only) run_only=yes; shift ;;
    --docker) seccomp=(--security-opt "seccomp=$tmp/seccomp.json"); shift ;;
    --container | --github) mode=${1#--}; shift ;;
    *) break ;;
    esac
done
commit=$(git -C "$root" rev-parse --verify "${1:-HEAD}^{commit}")
"$root/scripts/install-deps.sh" fresh-root
cache=$root/build/fresh-root
mkdir -p "$cache/debs/partial" "$cache/logs"
if [ ! -d "$cache/root" ]; then
    mirror=http://deb.debian.org/debian
    mmdebstrap --quiet --variant=minbase --format=directory bookworm "$cache/root.new" \
        "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
        "deb $mirror-security bookworm-security main"
    mv "$cache/root.new" "$cache/root"
fi
printf '[containers]\ndefault_ulimits = []\n' >"$tmp/containers.conf"
export CONTAINERS_CONF=$tmp/containers.conf
/usr/bin/python3 -c 'import json, sys
profile = json.load(open("/usr/share/containers/seccomp.json"))
json.dump(dict(profile, defaultErrnoRet=1), open(sys.argv[1], "w"))' "$tmp/seccomp.json"
podman=(podman --runtime runc)
lent=(-v /etc/ssl/certs/ca-certificates.crt:/etc/ssl/host-ca.crt:ro -e NODE_EXTRA_CA_CERTS=/etc/ssl/host-ca.crt
    -v "$cache/debs:/var/cache/apt/archives")
clone() { # DIR: a clone of the commit there
    rm -rf "$1"
    git clone -q --no-checkout "$root" "$1"
    git -C "$1" checkout -q "$commit"
}

if [ "$mode" = github ]; then
    version=$(git -C "$root" show "$commit:CMakeLists.txt" | sed -n 's/^project(zirna VERSION \([0-9.]*\).*/\1/p')
    rm -rf "$cache/github"
    mkdir -p "$cache/github/workflows" "$cache/github/artifacts"
    git -C "$root" archive "$commit" .github/workflows | tar -x -C "$cache/github/workflows"
    # The commit's jobs, with the variables that GitHub sets and the steps
    # read; a tag's run.
    jobs=$(/usr/bin/python3 "$root/scripts/lib/github_jobs.py" "$cache/github/workflows" "$cache/github/jobs" \
        /artifacts CI=true GITHUB_ACTIONS=true GITHUB_WORKSPACE=/__w/zirna/zirna \
        GITHUB_REPOSITORY=OWNER/zirna GITHUB_REF_NAME="v$version" HOME=/github/home)
    failed=0
    while read -r what job; do
        [ "$what" = run ] || { echo "$what $job"; continue; }
        echo "fresh root: commit $commit, the GitHub job $job"
        clone "$cache/github/checkout"
        mkdir -p "$cache/github/home"
        chown -R 1001:1001 "$cache/github/checkout" "$cache/github/home"
        mapfile -t options <"$cache/github/jobs/$job.options"
        start=$SECONDS status=0
        "${podman[@]}" rm -f "zirna-$job" >/dev/null 2>&1 || true
        if ! error=$("${podman[@]}" run -d --name "zirna-$job" "${options[@]}" --network host "${lent[@]}" \
            -v "$cache/github/checkout:/__w/zirna/zirna" -v "$cache/github/home:/github/home" \
            -v "$cache/github/artifacts:/artifacts" -v "$cache/github/jobs:/jobs:ro" \
            --rootfs "$cache/root:O" tail -f /dev/null 2>&1); then
            echo "$job: its container options (${options[*]}) cannot be applied here: $error"
            failed=1
            continue
        fi
        own "$("${podman[@]}" inspect -f '{{.State.Pid}}' "zirna-$job")"
        job "${podman[@]}" exec -w /__w/zirna/zirna "zirna-$job" bash -e "/jobs/$job.sh" \
            >"$cache/logs/$job.log" 2>&1 || status=$?
        "${podman[@]}" rm -f -t 0 "zirna-$job" >/dev/null
        echo "$job: $((SECONDS - start)) s; exit status $status"
        grep -E '^(== step|Tests failed|No test was skipped|[a-z0-9]+: [0-9]+ tests? skipped|[a-z-]+: every step|tested-programs:)' \
            "$cache/logs/$job.log" || true
        [ "$status" -eq 0 ] || { tail -n 20 "$cache/logs/$job.log"; failed=1; }
    done <<<"$jobs"
    exit "$failed"
fi

checkout=$cache/checkout
clone "$checkout"
if [ "$mode" = container ]; then
    line=$(grep -o 'docker run .*' "$checkout/README.md")
    echo "fresh root: commit $commit, the README's container line: $line"
    line=${line/docker run/${podman[*]} run}
    printf '#!/bin/bash\ncd %q\nexec %s\n' "$checkout" "${line/ debian:12 / --rootfs $cache/root:O }" >"$tmp/line.sh"
    chmod +x "$tmp/line.sh"
    start=$SECONDS status=0
    job /usr/bin/python3 "$root/tests/e2e/browser.py" --serve "$tmp/line.sh" --workdir "$checkout" \
        >"$cache/logs/container.log" 2>&1 || status=$?
    # (Cut short, the container would outlive the line.)
    "${podman[@]}" ps -q --filter status=running | while read -r id; do
        ! "${podman[@]}" inspect -f '{{.Config.Cmd}}' "$id" | grep -q scripts/run.sh ||
            "${podman[@]}" rm -f "$id" >/dev/null
    done
    echo "container line: $((SECONDS - start)) s with the browser test; exit status $status"
    grep -E 'the address after|^(Ran|OK|FAILED)' "$cache/logs/container.log"
    exit "$status"
fi

echo "fresh root: commit $commit${with:+, with $with added}${seccomp:+, personality refused with EPERM}"
status=0
job "${podman[@]}" run --rm -i --network host "${seccomp[@]}" "${lent[@]}" -e LANG=C.UTF-8 \
    -v "$checkout:/root/zirna" -v "$cache/logs:/mnt" -w /root/zirna --rootfs "$cache/root:O" \
    bash -s "$with" "$run_only" <<'NEWCOMER' >"$cache/logs/newcomer.log" || status=$?
set -uo pipefail
# shellcheck disable=SC2086 # one word a package
[ -z "$1" ] || { apt-get update -qq && apt-get install -y -qq --no-install-recommends $1; } >/dev/null
set -m # (a job of its own, as a terminal starts one, for Ctrl-C to reach)
start=$SECONDS
scripts/run.sh >/mnt/run.log 2>&1 &
until grep -q "open http" /mnt/run.log || ! kill -0 $! 2>/dev/null; do sleep 1; done
address=$((SECONDS - start))
kill -INT -- -$!
wait $!
run=$?
echo "run command: the address after $address s; exit status $run after Ctrl-C"
grep "open http" /mnt/run.log || tail -n 5 /mnt/run.log
[ -z "$2" ] || { [ $run -eq 130 ] && echo "newcomer: done"; exit; }
start=$SECONDS
scripts/test.sh >/mnt/test.log 2>&1
test=$?
echo "test command: $((SECONDS - start)) s ($(((SECONDS - start) / 60)) min); exit status $test"
grep -E '^(Skipped |Tests failed|No test was skipped|[a-z0-9]+: [0-9]+ tests? skipped)' /mnt/test.log
[ $run -eq 130 ] && [ $test -eq 0 ] && echo "newcomer: done"
NEWCOMER
cat "$cache/logs/newcomer.log"
[ "$status" -eq 0 ] && [ "$(tail -n 1 "$cache/logs/newcomer.log")" = "newcomer: done" ]
