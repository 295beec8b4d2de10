#!/usr/bin/env bash
# varnosk-engine against the ffmpeg tool: both convert one generated 60 s, 640x480, 25 fps clip
# with stereo sound with the same settings and one codec thread, for three catalogue sets.
# Prints wall time, CPU time and peak memory of each side and the ratios (engine / ffmpeg),
# the best of RUNS runs each (default 3; the runs of the two sides alternate).
# Builds varnosk-engine in the build directory (default build-bench) first; an existing build
# directory keeps its configuration.
#
#   bash bench/engine_vs_ffmpeg.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build-bench}
RUNS=${RUNS:-3}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -DVARNOSK_BUILD_APP=OFF -DVARNOSK_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD_DIR" --target varnosk-engine -j1 >/dev/null
ENGINE="$BUILD_DIR/src/engine_cli/varnosk-engine"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
CLIP="$WORK/clip.avi"
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i testsrc=size=640x480:rate=25:duration=60 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=60 \
  -ac 2 -c:v mpeg4 -q:v 3 -c:a libmp3lame -b:a 128k -shortest "$CLIP"

# The lines of the built-in preset libx264-default, for ffmpeg's -fpre.
cat >"$WORK/libx264-default.ffpreset" <<'PRESET'
coder=1
flags=+loop
cmp=+chroma
partitions=i8x8,i4x4,p8x8,b8x8
me_method=hex
subq=7
me_range=16
g=250
keyint_min=25
sc_threshold=40
i_qfactor=0.71
b_strategy=1
qcomp=0.6
qmin=10
qmax=51
qdiff=4
bf=3
refs=3
direct-pred=1
trellis=1
mixed-refs=1
weightb=1
8x8dct=1
fast-pskip=1
wpredp=2
PRESET

# name | output extension | engine options | ffmpeg output options
SETS=(
  "AVI mpeg4+libmp3lame|avi|vcodec=mpeg4 vtag=XVID r=25 vb=816000 acodec=libmp3lame ac=2 ar=44100 ab=128000|-c:v mpeg4 -vtag XVID -r 25 -b:v 816000 -c:a libmp3lame -ac 2 -ar 44100 -b:a 128000"
  "MP4 libx264 libx264-default|mp4|vcodec=libx264 vpre=libx264-default r=25 vb=1200000 acodec=libmp3lame ac=2 ar=44100 ab=128000|-c:v libx264 -fpre $WORK/libx264-default.ffpreset -r 25 -b:v 1200000 -c:a libmp3lame -ac 2 -ar 44100 -b:a 128000"
  "MP3 audio only|mp3|vn=1 acodec=libmp3lame ac=2 ar=44100 ab=128000|-vn -c:a libmp3lame -ac 2 -ar 44100 -b:a 128000"
)

printf "%-30s %9s %9s %9s %9s %9s %9s %7s %7s %7s\n" set "wall(e)" "wall(f)" "cpu(e)" "cpu(f)" \
  "rss(e)MB" "rss(f)MB" "wall x" "cpu x" "rss x"
for set in "${SETS[@]}"; do
  IFS='|' read -r name ext engine_opts ffmpeg_opts <<<"$set"
  engine_args=(--in "$CLIP" --out "$WORK/engine.$ext")
  for o in $engine_opts; do engine_args+=(--opt "$o"); done
  # shellcheck disable=SC2206
  ffmpeg_args=(ffmpeg -hide_banner -nostdin -y -threads 1 -i "$CLIP" $ffmpeg_opts -threads 1
    -filter_threads 1 "$WORK/ffmpeg.$ext")
  : >"$WORK/e.txt"
  : >"$WORK/f.txt"
  for _ in $(seq "$RUNS"); do
    python3 bench/measure.py "$ENGINE" "${engine_args[@]}" >>"$WORK/e.txt"
    python3 bench/measure.py "${ffmpeg_args[@]}" >>"$WORK/f.txt"
  done
  read -r ew ec er < <(awk 'NR==1||$1<w{w=$1} NR==1||$2<c{c=$2} NR==1||$3<r{r=$3} END{print w,c,r}' "$WORK/e.txt")
  read -r fw fc fr < <(awk 'NR==1||$1<w{w=$1} NR==1||$2<c{c=$2} NR==1||$3<r{r=$3} END{print w,c,r}' "$WORK/f.txt")
  awk -v n="$name" -v ew="$ew" -v fw="$fw" -v ec="$ec" -v fc="$fc" -v er="$er" -v fr="$fr" 'BEGIN{
    printf "%-30s %9.2f %9.2f %9.2f %9.2f %9.1f %9.1f %7.2f %7.2f %7.2f\n",
      n, ew, fw, ec, fc, er/1024, fr/1024, ew/fw, ec/fc, er/fr }'
done
