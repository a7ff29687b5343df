#!/usr/bin/env bash
# guide.sh <build> <source>: follows docs/adding-a-channel-library.md word for word. Every code block of the
# guide is extracted and used: the C++ blocks make the source, the CMake block builds it out of tree
# against the installed package, the shell blocks run as written (PREFIX: the installed Vex, MYPREFIX: the
# library's own prefix), and the scene, which mixes the new type with built-in ones, runs in the installed
# runner. It fails as soon as the guide and the code drift apart.
set -euo pipefail
build=$1
src=$2
guid=0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "guide: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
bash "$src/tests/package/extract-blocks.sh" "$src/docs/adding-a-channel-library.md" "$work/blocks"
project=$work/switch
mkdir -p "$project"

source_file="" members="" in_tree="" shells=()
for block in $(ls "$work/blocks" | sort -n); do
  path=$work/blocks/$block
  first=$(head -n 1 "$path")
  case $block in
    *.cpp) if [[ $first =~ ^//\ ([A-Za-z]+\.cpp)$ ]]; then source_file=${BASH_REMATCH[1]}; cp "$path" "$project/$source_file"
           else members=$path; fi ;;
    *.cmake) if grep -q 'find_package(Vexcore' "$path"; then cp "$path" "$project/CMakeLists.txt"; else in_tree=$path; fi ;;
    *.sh) shells+=("$path") ;;
    *.json) cp "$path" "$project/switch-scene.json" ;;
    *) fail "block $block is of no kind this test knows: teach tests/package/guide.sh to use it" ;;
  esac
done
[ -n "$source_file" ] && [ -n "$members" ] && [ -n "$in_tree" ] && [ ${#shells[@]} -eq 2 ] &&
  [ -f "$project/CMakeLists.txt" ] && [ -f "$project/switch-scene.json" ] || fail "the guide's blocks are not the expected ones"

# Step 3: the member block replaces the comment that marks its place in the class.
marker=$(grep -n '// SaveChannel and LoadChannel (step 3) go here.' "$project/$source_file" | cut -d: -f1)
[ -n "$marker" ] || fail "the class has no place marked for step 3"
{ head -n $((marker - 1)) "$project/$source_file"; cat "$members"; tail -n +$((marker + 1)) "$project/$source_file"; } > "$work/joined"
mv "$work/joined" "$project/$source_file"

# The in-repository CMake call must be valid too: configure it against the installed helper.
mkdir -p "$work/intree"
{ grep -v '^vex_add_channel_library' "$project/CMakeLists.txt"; cat "$in_tree"; } > "$work/intree/CMakeLists.txt"
cp "$project/$source_file" "$work/intree/"
cmake -S "$work/intree" -B "$work/intree/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null || fail "the in-repository CMake block does not configure"

run_block() { # run_block <block>: the block's commands with the placeholders filled in
  sed -e "s|\\bMYPREFIX\\b|$work/myprefix|g" -e "s|\\bPREFIX\\b|$work/prefix|g" "$1" > "$work/commands.sh"
  (cd "$project" && bash -euo pipefail "$work/commands.sh") > "$work/log" 2>&1 || { cat "$work/log"; fail "$(basename "$1") failed"; }
}
run_block "${shells[0]}"
[ "$(cd "$work/myprefix" && find . -type f)" = "./lib/vex/$guid.so" ] ||
  fail "install did not put exactly lib/vex/$guid.so under its prefix: $(cd "$work/myprefix" && find . -type f)"
run_block "${shells[1]}"
grep -q 'switch (Switch)' "$work/log" || { cat "$work/log"; fail "the run does not list the switch channel"; }

# The crate waits at its start height until frame 30, then falls.
awk -F, '$3 == "crate" { if ($1 < 30 && $5 != 3) bad = 1; last = $5 } END { exit (bad || last >= 2.9) }' \
  "$project/switch-out/trajectory.csv" || fail "the crate does not wait for the switch: $(grep crate "$project/switch-out/trajectory.csv" | sed -n '28,32p')"
# Step 3's code saved its chunk, and loads it back.
"$work/prefix/bin/vexhost" inspect "$project/switch-out/scene.vxp" > "$work/inspect" 2>&1
grep -q 'chunk SWFR 4 bytes' "$work/inspect" || { cat "$work/inspect"; fail "the project holds no SWFR chunk"; }
VEX_PLUGIN_PATH=$work/myprefix/lib/vex "$work/prefix/bin/vexhost" load "$project/switch-out/scene.vxp" \
  --out "$work/loaded" > "$work/load" 2>&1 || { cat "$work/load"; fail "the saved project does not load"; }
! grep -q 'too short' "$work/load" || { cat "$work/load"; fail "the SWFR chunk does not load"; }
echo "the guide's blocks build, install under their prefix and run next to the built-in types"
