#!/usr/bin/env bash
# CPU time of the preview player playing a 640x480, 25 fps, 10 s clip with sound, headless.
#
#   bash bench/player_cpu.sh [build-dir]
#
# Builds varnosk_media in the build directory (default build-player), compiles the benchmark
# against it, makes the clip with ffmpeg in a temporary folder and plays it to the end.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build-player}
cmake -S . -B "$BUILD_DIR" -DVARNOSK_BUILD_APP=OFF >/dev/null
cmake --build "$BUILD_DIR" --target varnosk_media -j1 >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
g++ -std=c++20 -O2 -Isrc bench/player_cpu.cpp "$BUILD_DIR/src/media/libvarnosk_media.a" \
  $(pkg-config --cflags --libs libavformat libavcodec libavutil libswscale libswresample libavfilter sdl2) \
  -lpthread -ldl -o "$WORK/player_cpu"
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i testsrc2=size=640x480:rate=25:duration=10 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10 \
  -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 128k "$WORK/clip.mkv"
export SDL_AUDIODRIVER=dummy VARNOSK_HOME="$WORK"
"$WORK/player_cpu" "$WORK/clip.mkv" 640 480
