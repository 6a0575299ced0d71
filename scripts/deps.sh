#!/usr/bin/env bash
# Installs the Debian packages the build needs; silent when all are present. Given packages (a
# stage's own), installs those instead, without the packages they only recommend.
set -euo pipefail
apt_options=()
if (($#)); then
  packages=("$@")
  apt_options=(--no-install-recommends)
else
packages=(cmake g++ ninja-build ccache pkg-config
          qtbase5-dev qttools5-dev qttools5-dev-tools librapidxml-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          fonts-lato xvfb
          clang libclang-rt-dev)  # clang and its runtime (libFuzzer, sanitizers): the fuzz stage
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${apt_options[@]}" "${missing[@]}" >/dev/null
fi
