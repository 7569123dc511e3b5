#!/usr/bin/env bash
# The demo scenes' outputs, byte for byte: the text report, the JSON report and the pictures that
# polyview-measure writes for examples/scenes/pipe_rack.json, and the text report of
# examples/chessboard/chessboard.json (real photos through a lens; its JSON and pictures, which
# embed the photos, would be megabytes), must equal the recorded ones in tests/tools/demo_outputs/.
# A change of any of them must be intended: record them anew with
#   tests/tools/demo_outputs.sh <polyview-measure> <source dir> --record
# and explain the change in the commit.
set -euo pipefail
tool=$1
source_dir=$2
expected="$source_dir/tests/tools/demo_outputs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$work"
"$tool" "$source_dir/examples/scenes/pipe_rack.json" --json report.json --svg pictures |
    sed "s#$source_dir/##" > report.txt
sed -i "s#\"$source_dir/#\"#" report.json
mkdir chessboard
"$tool" "$source_dir/examples/chessboard/chessboard.json" | sed "s#$source_dir/##" \
    > chessboard/report.txt

if [ "${3:-}" = "--record" ]; then
    rm -rf "$expected"
    mkdir -p "$expected"
    cp -r report.txt report.json pictures chessboard "$expected/"
    echo "recorded into $expected"
    exit 0
fi
diff -r "$expected" . && echo "demo outputs unchanged"
