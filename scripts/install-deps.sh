#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing oltsrv need.
# Idempotent: does nothing when everything is there already.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  libboost-dev libboost-system-dev
  libssl-dev openssl
  libcurl4-openssl-dev curl
  libpugixml-dev
  libproj-dev proj-bin proj-data
  libmariadb-dev mariadb-server mariadb-client
  googletest libgtest-dev libgmock-dev libbenchmark-dev
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" </dev/null
