#!/usr/bin/env bash
# Builds oxbuild, oxdump and oxrun (optimised) in build/ and compiles the bundled
# example modules; ends by saying where the programs are.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build build -j"$(nproc)" --target oxbuild oxdump oxrun
sh examples/make_resources.sh  # the bitmaps and sound that examples/showcase.oxs names
for example in examples/*.oxs; do
  ./build/oxbuild "$example"
done
cat <<END

The programs are $PWD/build/oxbuild, $PWD/build/oxdump/oxdump and $PWD/build/oxrun/oxrun;
the modules are beside their sources: $(echo examples/*.oxb).
To put the programs on PATH: cmake --install build --prefix ~/.local
(then ~/.local/bin on PATH), or as root: cmake --install build
END
