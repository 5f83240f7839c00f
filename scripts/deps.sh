# Sourced by the scripts: installs the Debian packages the project needs when
# any is missing.
orvdc_packages=(cmake ninja-build g++ clang pkg-config zlib1g-dev libbz2-dev libdeflate-dev
                libdivsufsort-dev libgtest-dev libbenchmark-dev gcc-multilib g++-multilib
                g++-mingw-w64-i686 binutils-mingw-w64-i686 qemu-user gzip bzip2)

orvdc_ensure_deps() {
    local missing=()
    for p in "${orvdc_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
