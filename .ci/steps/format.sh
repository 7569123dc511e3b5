#!/usr/bin/env bash
# Every tracked .cc and .h file as clang-format leaves it: scripts/check-format.
set -euo pipefail
cd "$(dirname "$0")/../.."

./scripts/check-format
