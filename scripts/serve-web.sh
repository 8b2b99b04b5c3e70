#!/usr/bin/env bash
# Builds the playground page and serves it on 127.0.0.1 for a local look.
# Usage: scripts/serve-web.sh [PORT]   (default 8026)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-web.sh
port=${1:-8026}
echo "serving the page (Ctrl-C stops):"
exec node web/serve.mjs build-web/site "$port"
