# Sourced by the scripts: installs the Debian packages the build and the tests need, when missing.

# What builds and runs the two programs: all that scripts/demo asks for (Xvfb only without a display).
OLV_BUILD_PACKAGES=(
    cmake ninja-build g++ pkg-config mold
    qt6-base-dev qt6-charts-dev qt6-serialport-dev qt6-svg-dev qt6-translations-l10n
)
# The rest of the chain scripts/test uses: the test framework, the peers, the package checks, the
# fuzzing compiler, the offscreen display and fonts of the window tests, the record's and the
# capture's readers.
OLV_PACKAGES=(
    "${OLV_BUILD_PACKAGES[@]}"
    dpkg-dev file
    libgtest-dev
    python3 python3-pymodbus socat mbpoll ser2net tshark
    clang libclang-rt-14-dev
    xvfb xauth fonts-dejavu-core
    poppler-utils
)

# Installs what is missing of the whole chain and of the packages named as arguments.
olv_ensure_packages() {
    olv_ensure_listed "${OLV_PACKAGES[@]}" "$@"
}

# Installs what is missing of the packages that build and run the programs, and of those named.
olv_ensure_build_packages() {
    olv_ensure_listed "${OLV_BUILD_PACKAGES[@]}" "$@"
}

olv_ensure_listed() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}
