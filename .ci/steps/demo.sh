#!/usr/bin/env bash
# The README's demo command: measures both demo scenes and must draw a picture for every camera
# and measure every shape.
set -euo pipefail
cd "$(dirname "$0")/../.."

./scripts/demo
check() {  # folder, cameras, shapes
    local pictures
    pictures=$(find "${BUILD_DIR:-build}/demo/$1/pictures" -name '*.svg' | wc -l)
    if [ "$pictures" -ne "$2" ]; then
        echo "the $1 demo drew $pictures pictures, expected $2 (one per camera)" >&2
        exit 1
    fi
    grep -q "\"measured\": $3" "${BUILD_DIR:-build}/demo/$1/report.json" || {
        echo "the $1 demo did not measure all $3 shapes" >&2
        exit 1
    }
}
check pipe_rack 5 12
check chessboard 13 70
