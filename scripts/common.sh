# Shared by scripts/run, scripts/test and .ci/run: package set-up, the build, a virtual display.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}

# Debian packages the build and the tests need.
PACKAGES=(
    cmake g++ make pkg-config
    libsdl2-dev libgl1-mesa-dev libgl1-mesa-dri libglu1-mesa-dev libx11-dev libxtst-dev
    libpng-dev libstb-dev libgtest-dev libbenchmark-dev
    xvfb xauth x11-utils xdotool
    clang libclang-rt-14-dev
)

ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# build DIR [cmake options...]
build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# Starts Xvfb on a free display and exports DISPLAY; the server ends with this shell.
start_xvfb() {
    local fd_file
    fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fd_file" 2>/dev/null &
    XVFB_PID=$!
    local tries=0
    while [ ! -s "$fd_file" ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    if [ ! -s "$fd_file" ]; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
    trap 'kill $XVFB_PID 2>/dev/null' EXIT
}
