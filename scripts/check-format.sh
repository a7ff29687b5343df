#!/usr/bin/env bash
# Checks the C++ files a change touches against .clang-format: those that differ from origin/main (committed
# or not). When nothing differs, as on a fresh clone of main, every tracked C++ file is checked; that takes a
# few seconds. `--all` checks every file; `--fix` rewrites the files instead of reporting them.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=check
scope=changed
for arg in "$@"; do
  case "$arg" in
    --fix) mode=fix ;;
    --all) scope=all ;;
    *) echo "usage: scripts/check-format.sh [--all] [--fix]" >&2; exit 2 ;;
  esac
done

format=$(command -v clang-format || true)
if [ -z "$format" ]; then
  echo "error: clang-format is missing; scripts/setup.sh installs it" >&2
  exit 2
fi

cpp='\.(cpp|h)$'
files=()
if [ "$scope" = changed ] && git rev-parse -q --verify origin/main >/dev/null; then
  base=$(git merge-base HEAD origin/main)
  mapfile -t files < <( (git diff --name-only --diff-filter=d "$base"; git ls-files --others --exclude-standard) |
                        grep -E "$cpp" | sort -u)
fi
[ ${#files[@]} -eq 0 ] && mapfile -t files < <(git ls-files | grep -E "$cpp")

if [ "$mode" = fix ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  "$format" --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf '%s: not formatted as .clang-format says (scripts/check-format.sh --fix rewrites it)\n' "${bad[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format says"
