#!/usr/bin/env bash
# Checks that #include "..." lines follow the layers: a folder may include
# itself and the folders listed for it below, nothing else. Includes are
# written from the project root ("base/FileUtility.h"); generated headers such
# as "base/ProgramVersion.h" count as the folder their path names.
# Prints file:line, the include and the reason for each one out of place and
# exits 1; exits 0 when every include is allowed.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each folder may include itself and the folders after its arrow, nothing else.
rules='
  app              -> mainwnd link/dialogs convert/dialogs ui link convert model base
  mainwnd          -> link/dialogs convert/dialogs ui link convert model base
  link/dialogs     -> ui link convert model base
  convert/dialogs  -> ui link convert model base
  ui               -> link convert model base
  link             -> convert model base
  convert          -> model base
  model            -> base
  base             ->
  cli              -> link convert model base
  sim              -> link convert model base
  tests/support    -> cli ui link convert model base
'
# tests/support is shared by the tests and the benchmarks: any layer but the
# windows (app, mainwnd, link/dialogs, convert/dialogs). The rest of tests/,
# bench/ and fuzz/ may include anything and are not checked.

declare -A may_include=()
while read -r folder _ allowed; do
  if [ -n "$folder" ]; then may_include[$folder]=$allowed; fi
done <<<"$rules"

# Folders as an include names them, when that differs from their place in the tree.
declare -A include_prefix=([support]=tests/support)

# Longest first, so that link/dialogs/X.h belongs to link/dialogs and not link.
folders=$(printf '%s\n' "${!may_include[@]}" | awk '{ print length, $0 }' | sort -rn | cut -d' ' -f2-)

# Sets REPLY to the folder a path (in the tree, or as an include names it)
# belongs to, or to nothing.
folder_of() {
  local path=$1 f p
  REPLY=
  for p in "${!include_prefix[@]}"; do
    case $path in "$p"/*) path=${include_prefix[$p]}/${path#"$p"/} ;; esac
  done
  for f in $folders; do
    case $path in "$f"/*) REPLY=$f; return ;; esac
  done
}

# Every folder in the table that exists; grep reaches link/dialogs from link
# as well, hence sort -u.
roots=()
for f in $folders; do
  if [ -d "$f" ]; then roots+=("$f"); fi
done
if [ ${#roots[@]} -eq 0 ]; then
  echo "check-includes: none of the folders in the table exists" >&2
  exit 1
fi

failures=0
while IFS=: read -r file line text; do
  folder_of "$file"
  from=$REPLY
  target=${text#*\"}
  target=${target%%\"*}
  folder_of "$target"
  to=$REPLY
  reason=
  if [ -z "$to" ]; then
    reason="include is not written from the project root, or names no layer folder"
  elif [ "$to" != "$from" ] && [[ " ${may_include[$from]} " != *" $to "* ]]; then
    reason="$from may not include $to (it may include: ${may_include[$from]:-only itself})"
  fi
  if [ -n "$reason" ]; then
    echo "$file:$line: #include \"$target\""
    echo "    $reason"
    failures=$((failures + 1))
  fi
done < <(grep -rnE --include='*.h' --include='*.cpp' \
           '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "${roots[@]}" | sort -t: -k1,1 -k2,2n -u)

if [ "$failures" -ne 0 ]; then
  echo "check-includes: $failures include(s) break the layers" >&2
  exit 1
fi
echo "check-includes: every include follows the layers"
