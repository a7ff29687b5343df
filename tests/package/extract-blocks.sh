#!/usr/bin/env bash
# extract-blocks.sh <markdown> <folder>: writes each fenced code block of the Markdown file to
# <folder>/<n>.<language> (n from 1, in order; "txt" when the fence names no language), exactly as written.
set -euo pipefail
md=$1
out=$2
mkdir -p "$out"
awk -v out="$out" '
  /^```/ {
    if (file == "") {
      lang = substr($0, 4); gsub(/[^A-Za-z0-9]/, "", lang); if (lang == "") lang = "txt"
      file = sprintf("%s/%d.%s", out, ++n, lang); printf "" > file
    } else {
      close(file); file = ""
    }
    next
  }
  file != "" { print >> file }
  END { if (file != "") { print "unterminated code block in " FILENAME > "/dev/stderr"; exit 1 } }
' "$md"
