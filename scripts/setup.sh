#!/usr/bin/env bash
# One idempotent setup step shared by ./run and ./test: install the Debian
# packages the project needs (only the missing ones), then configure and
# build. Usage: scripts/setup.sh [build-dir] [extra cmake args...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  # build
  g++ cmake ninja-build pkg-config ccache
  # GUI
  qt6-base-dev
  # loader plugins
  libtiff-dev libjpeg62-turbo-dev libpng-dev
  # glyph outlines for the Font area mode
  libfreetype-dev libfontconfig-dev fonts-liberation2
  # tests: unit tests, fuzzers and sanitizers, screenshots, outside peers
  libgtest-dev clang libclang-rt-14-dev xvfb netpbm imagemagick ffmpeg
  # screen capture: the X server probe, and xvfb-run's own need (a recommends)
  libxcb1-dev xauth
  # the render-farm test: a single-node Slurm and GNU parallel
  slurmctld slurmd slurm-client munge parallel
  # benchmarks (libvips-tools: the peer of Rotate)
  libbenchmark-dev libvips-tools
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${1:-build}
shift || true

export CCACHE_DIR=${CCACHE_DIR:-$root/.ccache}
cmake -S "$root" -B "$root/$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$root/$build" -j"$(nproc)"
