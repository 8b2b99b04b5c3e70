#!/usr/bin/env bash
# Builds the playground page into build-web/: the compiler, oxdump's reader
# and listing and oxrun as one WebAssembly module (Debian's emscripten),
# the page's script bundled with its editor (npm, web/), its HTML and style,
# and the examples it offers. Installs what is missing first.
# Usage: scripts/build-web.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh web
command -v npm > /dev/null || scripts/install-deps.sh editors
out=build-web
# Debian's emscripten runs its JavaScript tools with Debian's acorn.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
emcmake cmake -S . -B "$out/wasm" -DCMAKE_BUILD_TYPE=Release -DOXBUILD_TESTS=OFF > /dev/null
cmake --build "$out/wasm" -j2 --target playground > /dev/null
site=$out/site
rm -rf "$site"
mkdir -p "$site/examples"
cp "$out/wasm/web/playground.js" "$out/wasm/web/playground.wasm" web/index.html web/style.css "$site/"
(cd web && npm ci --no-audit --no-fund --loglevel=error &&
  npx esbuild src/main.js --bundle --minify --format=esm --target=es2020 --outfile="../$site/page.js" --log-level=warning)
# The examples with their include files, scripts and resource files, and
# the list the page picks from: each example's files, the source first.
cp examples/*.oxs examples/*.oxh examples/*.oxt examples/make_resources.sh "$site/examples/"
(cd "$site/examples" && sh make_resources.sh > /dev/null && rm make_resources.sh)
{
  echo "["
  first=yes
  for source in examples/*.oxs; do
    name=$(basename "$source" .oxs)
    files=("\"$name.oxs\"")
    for f in "$site"/examples/*.oxh "$site"/examples/res/*; do files+=("\"${f#"$site"/examples/}\""); done
    [[ $first == yes ]] || echo ","
    first=no
    printf '  {"name": "%s", "files": [%s], "script": "%s"}' "$name" "$(IFS=,; echo "${files[*]}")" "$name.oxt"
  done
  echo
  echo "]"
} > "$site/examples/index.json"
# What a visit downloads, each file compressed as a server would send it.
compressed=0
while IFS= read -r -d '' f; do compressed=$((compressed + $(gzip -9c "$f" | wc -c))); done < <(find "$site" -type f -print0)
echo "built $site: $(du -sb "$site" | cut -f1) bytes, $compressed compressed"
