#!/usr/bin/env bash
# Fails when a source folder includes a header of a layer above it (or ui/ from app/), and when
# a library below the station includes Qt. The allowed folders of each layer are listed here.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
  [core]="core"
  [platform]="core platform"
  [chips]="core chips"
  [detections]="core chips detections"
  [reader]="core platform chips detections reader"
  [results_link]="core platform chips detections results_link"
  [ftp]="core platform ftp"
  [export]="core platform chips detections ftp export"
  [import]="core platform chips detections reader ftp import"
  [app]="core platform chips detections reader results_link ftp export import app"
  [ui]="core platform chips detections reader results_link ftp export import app ui"
  [main]="core platform chips detections reader results_link ftp export import app ui main"
)
status=0
for dir in src/*/; do
  layer=$(basename "$dir")
  if [ -z "${allowed[$layer]+x}" ]; then
    echo "layer-check: src/$layer is not a known layer (add it to scripts/layer-check.sh)"
    status=1
    continue
  fi
  while IFS= read -r -d '' file; do
    while IFS= read -r include; do
      target=${include%%/*}
      [ -n "${allowed[$target]+x}" ] || continue  # system and library headers
      case " ${allowed[$layer]} " in
        *" $target "*) ;;
        *) echo "layer-check: $file includes \"$include\": $layer may not use $target"; status=1 ;;
      esac
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
    case "$layer" in
      app|ui|main) ;;
      *)
        if grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
          echo "layer-check: $file includes Qt: $layer is below the station"
          status=1
        fi
        ;;
    esac
    if [ "$layer" = app ] && grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Qt?(Widgets|Gui)' "$file"; then
      echo "layer-check: $file includes Qt Widgets or Gui: app/ uses Qt Core and Network only"
      status=1
    fi
  done < <(find "$dir" -type f \( -name '*.cpp' -o -name '*.h' \) -print0)
done
[ $status -eq 0 ] && echo "layer-check: every include goes downwards"
exit $status
