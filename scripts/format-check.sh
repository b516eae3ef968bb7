#!/usr/bin/env bash
# Lists the C++ files whose layout differs from .clang-format (exit 1 when there is one).
set -euo pipefail
cd "$(dirname "$0")/.."
bad=0
while IFS= read -r -d '' f; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then echo "$f"; bad=1; fi
done < <(git ls-files -z -- '*.cpp' '*.h')
exit $bad
