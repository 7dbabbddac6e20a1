#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those
# that are missing. Runs `apt-get update` at most once per call.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2
  attr
  poppler-utils  # pdftotext: the report tests read back the PDF files
  desktop-file-utils appstream  # validation of the installed desktop entry and metainfo
  python3  # scripts/check-layers.py
  clang-format  # 14 on Debian 12: scripts/check-format.sh and `make format`
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
