#!/bin/sh
# The WebAssembly build against the native compiler under Node: the
# examples (with their resource files made, and their test scripts' traces)
# and every example of the documents. Exit status 77 (skipped) when the
# WebAssembly build or Node is missing.
# Usage: acceptance.sh PLAYGROUND_JS OXBUILD WEB_DOC_EXAMPLES SOURCE_DIR
set -eu
playground=$1 oxbuild=$2 doc_examples=$3 source_dir=$4
if [ ! -f "$playground" ] || ! command -v node > /dev/null; then
  echo "no WebAssembly build at $playground or no node: skipped (scripts/build-web.sh)" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/examples" "$work/docs"
cp "$source_dir"/examples/*.oxs "$source_dir"/examples/*.oxh "$source_dir"/examples/*.oxt \
   "$source_dir"/examples/*.trace "$source_dir"/examples/make_resources.sh "$work/examples/"
sh "$work/examples/make_resources.sh"
"$doc_examples" "$work/docs"
node --no-experimental-fetch "$source_dir/tests/web/acceptance.mjs" "$playground" "$oxbuild" \
  "$work/examples" "$work"/docs/*
