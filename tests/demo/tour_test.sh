#!/usr/bin/env bash
# The demo's scripted tour (what scripts/demo plays without a display) ends by
# itself with status 0 and leaves a full-screen picture of each scene that
# shows something (not a black or a blank screen), the two scenes different.
set -euo pipefail
demo=$1
tour=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
env -u DISPLAY -u CORVEX_TOUR_ON_XVFB timeout 120 "$tour" "$demo" "$out"
for scene in 1 2; do
  shot=$out/demo-scene$scene.png
  [ -s "$shot" ] || { echo "no screenshot of scene $scene" >&2; exit 1; }
  size=$(identify -format '%wx%h' "$shot")
  [ "$size" = 1024x768 ] || { echo "scene $scene screenshot is $size" >&2; exit 1; }
  spread=$(convert "$shot" -colorspace Gray -format '%[fx:standard_deviation]' info:)
  awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }' || { echo "scene $scene screenshot is flat ($spread)" >&2; exit 1; }
done
difference=$(compare -metric AE "$out/demo-scene1.png" "$out/demo-scene2.png" null: 2>&1 || true)
awk -v d="${difference%% *}" 'BEGIN { exit !(d > 100000) }' || { echo "the two scenes look alike ($difference)" >&2; exit 1; }
echo "tour: both scenes captured"
