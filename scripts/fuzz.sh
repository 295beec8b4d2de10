#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (address and undefined-behaviour
# sanitizers), outside the normal build, and runs each of them for a while:
#
#   bash scripts/fuzz.sh [seconds per target, default 180] [target ...]
#
# Targets are the file names of fuzz/*_fuzz.cpp without ".cpp" (default: all). The build and
# the corpora go to build-fuzz beside this folder (FUZZ_DIR overrides); crash files land in
# build-fuzz/artifacts. JOBS sets the number of parallel compile jobs (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET=${1:-180}
shift || true
OUT=${FUZZ_DIR:-$PWD/build-fuzz}
mkdir -p "$OUT/obj" "$OUT/corpus" "$OUT/artifacts"

MODULES="libavformat libavcodec libavutil libswscale libswresample libavfilter sdl2"
SANITIZE="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
CXXFLAGS="-std=c++20 -g -O1 -fno-omit-frame-pointer $SANITIZE -D__STDC_CONSTANT_MACROS -Isrc \
  $(pkg-config --cflags $MODULES)"
LIBS="$(pkg-config --libs $MODULES) -ldl -lpthread"

# The media core without the player (it has its own threads and display, and the option
# language does not reach it) and the encoder-name table of the catalogue.
SOURCES=$(ls src/media/*.cpp src/presets/encoders.cpp | grep -v -e '/player' -e '/wave_sound')

objects=()
for src in $SOURCES; do
  obj="$OUT/obj/$(echo "$src" | tr / _).o"
  objects+=("$obj")
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$(find src -name '*.h' -newer "$obj")" ]; then
    echo "compiling $src" >&2
    # shellcheck disable=SC2086
    clang++ $CXXFLAGS -fsanitize=fuzzer-no-link -c "$src" -o "$obj" &
    while [ "$(jobs -rp | wc -l)" -ge "${JOBS:-1}" ]; do wait -n; done
  fi
done
wait

TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do TARGETS+=("$(basename "$f" .cpp)"); done
fi

seed() {  # seed <corpus dir> <name> <bytes as printf format>
  [ -f "$1/$2" ] || printf "$3" >"$1/$2"
}

for target in "${TARGETS[@]}"; do
  echo "building $target" >&2
  # shellcheck disable=SC2086
  clang++ $CXXFLAGS -fsanitize=fuzzer "fuzz/$target.cpp" "${objects[@]}" $LIBS -o "$OUT/$target"
  corpus="$OUT/corpus/$target"
  mkdir -p "$corpus"
  case "$target" in
    option_text_fuzz)
      seed "$corpus" crlf ' TimeStart=7000<CRLF>vcodec=mpeg4\r\nHook=0\rJoin\n\nb=2000000 '
      ;;
    parse_option_fuzz)
      seed "$corpus" map '\000\014x0:1:2.3'
      seed "$corpus" name '\001intra_matrix\0001,2,3'
      seed "$corpus" record '\002vcodec=libx264\nnewvideo=1\nvpre=default\ns=cif\ncroptop=10\ntarget=pal-dvd'
      seed "$corpus" input '\003itsscale=3:0.5\nstreamid=2:301\nmetadata=a=b\nvbsf=null=x'
      ;;
  esac
  echo "running $target for $SECONDS_PER_TARGET s" >&2
  "$OUT/$target" "$corpus" -max_total_time="$SECONDS_PER_TARGET" -timeout=30 -rss_limit_mb=4096 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$OUT/artifacts/$target-"
done
