#!/usr/bin/env bash
# Fails when a C++ file under src/ tests/ bench/ fuzz/ is not as the repo's
# .clang-format lays it out (clang-format 14, Debian 12's `clang-format`).
# Lists each such file with the first lines that differ; `make format`
# rewrites them.
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=""
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null 2>&1; then
    formatter="$candidate"
    break
  fi
done
if [ -z "$formatter" ]; then
  echo "check-format: clang-format is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
version="$("$formatter" --version)"
case "$version" in
  *" version 14."*) ;;
  *) echo "check-format: $formatter is not version 14 ($version); its layout differs" >&2
     exit 1 ;;
esac

diffs="$(mktemp)"
trap 'rm -f "$diffs"' EXIT
status=0
count=0
while IFS= read -r -d '' file; do
  count=$((count + 1))
  if ! "$formatter" --style=file "$file" | diff -u --label "$file" --label "$file (formatted)" \
      "$file" - >"$diffs" 2>&1; then
    echo "$file: differs from .clang-format"
    head -n 20 "$diffs" | sed 's/^/    /'
    status=1
  fi
done < <(find src tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)

if [ "$status" -ne 0 ]; then
  echo "check-format: run 'make format' (clang-format 14) and commit the result" >&2
else
  echo "check-format: $count files as .clang-format lays them out"
fi
exit "$status"
