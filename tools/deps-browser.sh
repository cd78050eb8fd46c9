#!/usr/bin/env bash
# What drives the browser in the site page's acceptance test: puppeteer-core,
# pinned by tests/acceptance/browser/package-lock.json, installed from the npm
# registry into that folder's node_modules (which git ignores) once, and again
# only when the lock file changes. It drives Debian's /usr/bin/chromium; no
# browser is downloaded, and nothing of it is shipped.
set -euo pipefail
tools=$(cd "$(dirname "$0")" && pwd)
# Node.js and npm as the machine has them; Debian's when it has none.
command -v npm >/dev/null || "$tools/install-missing.sh" deps-browser nodejs npm
cd "$tools/../tests/acceptance/browser"
stamp=node_modules/.lock-installed
if [ -f "$stamp" ] && cmp -s package-lock.json "$stamp"; then
  echo "deps-browser: puppeteer-core present"
  exit 0
fi
# The browser is Debian's: the package must not fetch one of its own.
export PUPPETEER_SKIP_DOWNLOAD=1
"$tools/retry.sh" npm ci --no-audit --no-fund --ignore-scripts --loglevel=error
cp package-lock.json "$stamp"
echo "deps-browser: puppeteer-core installed"
