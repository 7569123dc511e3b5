#!/usr/bin/env bash
# The workbench end to end in the release build: the server over raw HTTP and the page in headless
# Chromium. With CI set, a missing browser, driver or Selenium fails instead of skipping, and a
# build without the tests registered (no cpp-httplib) fails too.
set -euo pipefail
cd "$(dirname "$0")/../.."

CI=1 ctest --test-dir "${BUILD_DIR:-build}" -R '^workbench_(http|page)$' --no-tests=error \
    --output-on-failure
