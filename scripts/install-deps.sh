#!/usr/bin/env bash
# Installs the Debian packages zarn needs to build, test and benchmark.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev pkg-config clang-format clang-tidy
  libyaml-dev libcurl4-openssl-dev libssl-dev libexpat1-dev libcli11-dev libfmt-dev
  libgtest-dev libcpp-httplib-dev nghttp2-server
  python3 python3-venv python3-dev python3-yaml pybind11-dev curl ca-certificates
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: everything is installed"
  exit 0
fi

sudo_cmd=()
if ((EUID != 0)); then sudo_cmd=(sudo); fi
echo "install-deps: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
