#!/usr/bin/env bash
# The whole test run of a fresh clone: machine set-up, configure and build of
# every preset, then every test through CTest. Wine servers of the builds'
# prefixes are stopped on every way out, so that nothing outlives the run.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(native win32 win64 fuzz)

stop_wine() {
  for p in build/win32/wineprefix build/win64/wineprefix; do
    [ -d "$p" ] && scripts/wine-prefix stop "$p" >/dev/null 2>&1 || true
  done
}
trap stop_wine EXIT

bash scripts/setup.sh
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -- -j"$(nproc)"
done

failed=()
for preset in "${presets[@]}"; do
  echo "=== tests: $preset"
  ctest --preset "$preset" -j2 || failed+=("$preset")
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED presets: ${failed[*]}"
  exit 1
fi
echo "all presets passed"
