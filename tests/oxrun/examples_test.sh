#!/bin/sh
# The example modules' test scripts (examples/*.oxt) against their expected
# traces, run by the built oxrun on a copy of the examples with their
# resource files made. Usage: examples_test.sh OXRUN SOURCE_DIR
set -eu
oxrun=$1
examples=$2/examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples"/*.oxs "$examples"/*.oxh "$examples"/*.oxt "$examples"/*.trace "$examples"/make_resources.sh "$work"/
sh "$work"/make_resources.sh
cd "$work"
"$oxrun" --test .
