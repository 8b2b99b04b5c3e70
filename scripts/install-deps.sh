#!/usr/bin/env bash
# Installs what building and testing oxbuild needs on Debian, when missing.
# Usage: scripts/install-deps.sh [build|test|fuzz|bench|guard|package|oxls|editors|web|windows]...
#   package: what the Debian package is built and checked with (dpkg-shlibdeps
#   from dpkg-dev, file for cpack, lintian for the package test).
#   oxls: the JSON library of the language server; editors: Node and npm.
#   web: emscripten (with the acorn its Node tools need) and Chromium for the
#   playground page and its browser test.
set -euo pipefail

packages=(cmake g++ make)
for need in "$@"; do
  case "$need" in
    build) packages+=(nlohmann-json3-dev) ;;
    oxls) packages+=(nlohmann-json3-dev) ;;
    test) packages+=(libgtest-dev nlohmann-json3-dev neovim libxml2-utils lcov) ;;
    editors) packages+=(nodejs npm) ;;
    web) packages+=(emscripten node-acorn chromium) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    bench) packages+=(valgrind tcc lua5.4) ;;
    guard) packages+=(valgrind) ;;  # the instruction guard counts with callgrind
    package) packages+=(dpkg-dev file lintian) ;;
    windows) packages+=(g++-mingw-w64-x86-64 googletest wine wine64 locales nlohmann-json3-dev) ;;  # cross-compiling, running under Wine
    *) echo "unknown need: $need" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
