#!/usr/bin/env bash
# Checks every workflow in .github/workflows/ against GitHub's workflow schema, offline, with
# action-validator. Debian has no such tool: it comes from npm, at one exact version, installed
# once into a cache outside the repository, so that later runs touch no network.
# Exits non-zero on an invalid workflow, with the validator's findings.
set -uo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh

version=0.6.0
cache=${XDG_CACHE_HOME:-$HOME/.cache}/qelvaro/npm
validator=$cache/node_modules/.bin/action-validator

# Node may come from elsewhere than Debian (NodeSource, nvm): any npm on PATH does.
command -v npm >/dev/null || EnsurePackages npm || exit 1

# The command line reads the file and the core validates it; the first names the second only as a
# peer, which older npm leaves out: both are pinned.
Installed() {
  local package
  for package in cli core; do
    [ "$(node -p "require('$cache/node_modules/@action-validator/$package/package.json').version" \
      2>/dev/null)" = "$version" ] || return 1
  done
}

if ! Installed; then
  mkdir -p "$cache"
  if ! said=$(npm install --prefix "$cache" --save-exact --ignore-scripts --no-audit --no-fund \
    "@action-validator/cli@$version" "@action-validator/core@$version" 2>&1) || ! Installed; then
    echo "Could not install @action-validator/cli $version into $cache:"
    echo "$said"
    exit 1
  fi
fi

shopt -s nullglob
workflows=(.github/workflows/*.yml .github/workflows/*.yaml)
if [ ${#workflows[@]} -eq 0 ]; then
  echo "No workflow in .github/workflows/"
  exit 1
fi
status=0
for workflow in "${workflows[@]}"; do
  if said=$("$validator" "$workflow" 2>&1); then
    echo "$workflow: valid"
  else
    echo "$workflow: invalid"
    echo "$said"
    status=1
  fi
done
exit $status
