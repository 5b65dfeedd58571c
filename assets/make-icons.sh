#!/usr/bin/env bash
# Renders the application icon, drawn by hand as
# icons/hicolor/scalable/apps/org.quarvel.Quarvel.svg, to the PNG sizes of the
# hicolor theme. The results are committed; the build only installs them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v rsvg-convert >/dev/null; then
  apt-get update -qq && apt-get install -y -qq --no-install-recommends librsvg2-bin >/dev/null
fi
svg="$here/icons/hicolor/scalable/apps/org.quarvel.Quarvel.svg"
for size in 16 22 24 32 48 64 128 256; do
  out="$here/icons/hicolor/${size}x${size}/apps"
  mkdir -p "$out"
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$out/org.quarvel.Quarvel.png"
done
echo "icons written to $here/icons/hicolor"
