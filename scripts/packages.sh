# Sourced by the scripts: installs the Debian packages the build and the tests need, when missing.

OLV_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-charts-dev qt6-serialport-dev qt6-svg-dev qt6-translations-l10n
    dpkg-dev file
    libgtest-dev
    python3 python3-pymodbus socat mbpoll ser2net tshark
    clang libclang-rt-14-dev
    xvfb xauth fonts-dejavu-core
    poppler-utils
)

olv_ensure_packages() {
    local missing=()
    local pkg
    for pkg in "${OLV_PACKAGES[@]}" "$@"; do
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
