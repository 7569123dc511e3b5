#!/usr/bin/env bash
# The README's demo command: measures the demo scene and must draw a picture for every camera.
set -euo pipefail
cd "$(dirname "$0")/../.."

./scripts/demo
pictures=$(find build/demo/pictures -name '*.svg' | wc -l)
if [ "$pictures" -ne 5 ]; then
    echo "the demo drew $pictures pictures, expected 5 (one per camera)" >&2
    exit 1
fi
grep -q '"measured": 12' build/demo/report.json || {
    echo "the demo did not measure all 12 shapes" >&2
    exit 1
}
