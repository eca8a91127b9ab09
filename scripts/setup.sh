#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Idempotent: runs apt-get update and install only when something must be installed.
# Works as root or through sudo. Extra packages may be named on the command line.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libfreetype-dev libfontconfig-dev libpugixml-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-liberation2 fonts-droid-fallback
  libmlt-dev libmlt++-dev melt
  libharfbuzz-dev libfribidi-dev nlohmann-json3-dev libass-dev libicu-dev
  ffmpeg libharfbuzz-bin
  libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libavutil-dev
  fonts-noto-core fonts-noto-color-emoji fonts-ipafont-gothic fonts-noto-cjk
  libavformat-dev libavcodec-dev libavutil-dev
  help2man python3-yaml
  libcpp-httplib-dev chromium curl
  "$@"
)
# node and npm drive the designer's browser test; a node installed otherwise (with its own npm)
# is kept, since Debian's npm package would conflict with it.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The browser test's npm packages, exactly as locked (puppeteer-core drives Debian's chromium; it
# downloads no browser), installed again only when the lock file changed.
install_npm_packages() {
  local dir
  dir="$(cd "$(dirname "$0")/.." && pwd)/tools/qeltitle/tests/designer"
  if ! cmp -s "$dir/package-lock.json" "$dir/node_modules/.package-lock.json.installed" 2>/dev/null; then
    echo "setup: npm ci in $dir"
    (cd "$dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error) &&
      cp "$dir/package-lock.json" "$dir/node_modules/.package-lock.json.installed"
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  install_npm_packages
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "setup: missing packages (${missing[*]}) and neither root nor sudo is available" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
install_npm_packages
