#!/usr/bin/env bash
# Includes keep to the layers (docs/architecture.md): scripts/check-layers.
set -euo pipefail
cd "$(dirname "$0")/../.."

python3 scripts/check-layers
