#!/usr/bin/env bash
# Builds every preset and runs every test: natively, natively under
# AddressSanitizer and UndefinedBehaviorSanitizer, on win32 and win64 under
# Wine (with Xvfb), and a bounded fuzzing run. Ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
for preset in native native-asan win32 win64 fuzz; do
  echo "=== configure and build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done

# One CTest tree over all presets, so that one summary counts every test.
cat > build/CTestTestfile.cmake <<'CTEST'
subdirs("native" "native-asan" "win32" "win64" "fuzz")
CTEST

echo "=== tests"
if [ -z "${DISPLAY:-}" ]; then
  # -noreset: the server stays up between clients; by default Xvfb resets when
  # its last client leaves, and a program that starts just then finds no display.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --test-dir build --output-on-failure -j"$jobs" "$@"
fi
exec ctest --test-dir build --output-on-failure -j"$jobs" "$@"
