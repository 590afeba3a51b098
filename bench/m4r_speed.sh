#!/bin/sh
# Converts a long WAV to M4R with velmora-cli and with the ffmpeg command line (the same AAC
# encoder, 128 kbit/s average, iPod MP4 muxer) on the same file in the same run, and prints
# both speeds as multiples of real time and their ratio.
#
#   BUILD_DIR=build-release bench/m4r_speed.sh [SECONDS]
#
# BUILD_DIR is the build folder holding velmora-cli (default: build); SECONDS the length of the
# test file (default: 600, ten minutes of 44100 Hz stereo).
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in
/*) ;;
*) build=$repo/$build ;;
esac
cli=$build/velmora-cli
seconds=${1:-600}

if [ ! -x "$cli" ]; then
    echo "m4r_speed: $cli not found; build velmora-cli first or set BUILD_DIR" >&2
    exit 2
fi
if ! command -v ffmpeg >/dev/null 2>&1; then
    echo "m4r_speed: ffmpeg is needed" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-m4r-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/home" "$work/config"

# Music-like material: two tones and pink noise, different in each channel.
ffmpeg -v error -y \
    -f lavfi -i "sine=frequency=220:sample_rate=44100:duration=$seconds" \
    -f lavfi -i "sine=frequency=331:sample_rate=44100:duration=$seconds" \
    -f lavfi -i "anoisesrc=color=pink:amplitude=0.15:sample_rate=44100:duration=$seconds" \
    -filter_complex "[0][1][2]amerge=inputs=3,pan=stereo|c0=0.5*c0+0.3*c2|c1=0.5*c1+0.3*c2" \
    -c:a pcm_s16le "$work/long.wav"

now() { date +%s.%N; }

# The same bit rate as the ffmpeg run, so that both encoders do the same work.
start=$(now)
HOME=$work/home VELMORA_CONFIG_DIR=$work/config "$cli" convert --to m4r \
    --set AutoDestM4AEncodingParam=0 --set M4AVBR=0 --set M4AABRBitRate=128 \
    --set DestOutputFolderOpt=199 "$work/long.wav" >"$work/cli.txt" </dev/null
end=$(now)
velmora=$(echo "$start $end" | awk '{ print $2 - $1 }')
[ -s "$work/long.m4r" ] || { echo "m4r_speed: velmora-cli wrote no file" >&2; cat "$work/cli.txt" >&2; exit 1; }

start=$(now)
ffmpeg -v error -y -i "$work/long.wav" -c:a aac -b:a 128k -f ipod "$work/ffmpeg.m4r" </dev/null
end=$(now)
reference=$(echo "$start $end" | awk '{ print $2 - $1 }')

echo "$seconds $velmora $reference $(stat -c %s "$work/long.m4r") $(stat -c %s "$work/ffmpeg.m4r")" |
    awk '{
        printf "input:        %d s of 44100 Hz stereo\n", $1
        printf "velmora-cli:  %7.2f s  %6.1fx real time  %8d bytes\n", $2, $1 / $2, $4
        printf "ffmpeg:       %7.2f s  %6.1fx real time  %8d bytes\n", $3, $1 / $3, $5
        printf "ratio:        velmora-cli runs at %.2f of ffmpeg'"'"'s speed\n", $3 / $2
    }'
