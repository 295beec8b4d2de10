#!/usr/bin/env bash
# Builds the media core and its tests with a sanitizer and runs the tests:
#
#   bash scripts/sanitize.sh thread|address [ctest -R regex]
#
# The build goes to build-<sanitizer> beside this folder (no Qt program). JOBS sets the number
# of parallel build jobs (default 2); TARGETS, when set, names the only targets to build (tests
# of targets not built then show up as *_NOT_BUILT; pick them out with the regex).
set -euo pipefail
cd "$(dirname "$0")/.."

SANITIZER=${1:-}
REGEX=${2:-}
case "$SANITIZER" in
  thread | address) ;;
  *)
    echo "usage: bash scripts/sanitize.sh thread|address [ctest -R regex]" >&2
    exit 2
    ;;
esac

BUILD_DIR="$PWD/build-$SANITIZER"
cmake -S . -B "$BUILD_DIR" -DVARNOSK_SANITIZE="$SANITIZER" -DVARNOSK_BUILD_APP=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ -n "${TARGETS:-}" ]; then
  # shellcheck disable=SC2086
  cmake --build "$BUILD_DIR" -j"${JOBS:-2}" --target $TARGETS
else
  cmake --build "$BUILD_DIR" -j"${JOBS:-2}"
fi

export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy
# Any report fails the test that produced it.
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1 detect_leaks=1}"
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 1200 ${REGEX:+-R "$REGEX"}
