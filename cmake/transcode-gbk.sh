#!/usr/bin/env bash
# Copies source folders with their C++ files turned from UTF-8 into GB18030, so that a compiler
# without -fexec-charset=GB18030 (clang) still gives every narrow literal its GBK bytes.
# Folders named corpus are left out. Usage: transcode-gbk.sh SOURCE_ROOT DEST_ROOT FOLDER...
set -euo pipefail
source_root=$1
dest_root=$2
shift 2
for folder in "$@"; do
  while IFS= read -r -d '' file; do
    relative=${file#"$source_root"/}
    target=$dest_root/$relative
    mkdir -p "$(dirname "$target")"
    case $file in
    *.cpp | *.h)
      converted=$(mktemp)
      iconv -f UTF-8 -t GB18030 "$file" >"$converted"
      # A GBK trail byte 0x5C would read as a backslash: an escape in a literal, a line
      # continuation after a comment.
      if [ "$(tr -cd '\\' <"$file" | wc -c)" != "$(tr -cd '\\' <"$converted" | wc -c)" ]; then
        echo "$relative: a character turns into a byte 0x5C in GB18030; write it as an escape" >&2
        rm -f "$converted"
        exit 1
      fi
      ;;
    *)
      converted=$(mktemp)
      cp "$file" "$converted"
      ;;
    esac
    # Unchanged files keep their time stamps, so that only edited sources are compiled again.
    if cmp -s "$converted" "$target"; then
      rm -f "$converted"
    else
      mv "$converted" "$target"
    fi
  done < <(find "$source_root/$folder" -name corpus -prune -o -type f -print0)
done
