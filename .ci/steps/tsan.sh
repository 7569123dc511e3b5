#!/usr/bin/env bash
# ThreadSanitizer build (its own directory) of the test that runs the const members of one object
# of each shape class from four threads at once, and of the point batch's tests, which split one
# batch over up to 300 threads; any data race fails the step.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${TSAN_BUILD_DIR:-build-ci-tsan}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DPOLYVIEW_WERROR=ON \
    -DPOLYVIEW_BUILD_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread"
cmake --build "$build_dir" -j"$(nproc)" --target hardening_const_members_threads_test batch_point_batch_test
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    "$build_dir/tests/hardening/hardening_const_members_threads_test"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    "$build_dir/tests/batch/batch_point_batch_test"
