#!/usr/bin/env bash
# Encoding speed of the MP3 and OGG outputs next to the lame and oggenc command-line tools, on
# the same long WAV file in the same run, at the same bit rate.
#
#   BUILD_DIR=build-release bench/mp3_ogg_speed.sh [SECONDS]
#
# BUILD_DIR (default "build", relative to the repository) holds velmora-cli; SECONDS is the
# length of the stereo 44100 Hz test file (default 600). Settings and output live in a temporary
# folder: the real settings are never touched.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-build}"
[[ "$build" = /* ]] || build="$repo/$build"
cli="$build/velmora-cli"
seconds="${1:-600}"
kbps=128

if [[ ! -x "$cli" ]]; then
    echo "velmora-cli not found in $build (set BUILD_DIR)" >&2
    exit 2
fi
if ! command -v ffmpeg >/dev/null; then
    echo "ffmpeg is needed to make the test file" >&2
    exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export VELMORA_CONFIG_DIR="$work/config" HOME="$work/home"
mkdir -p "$work/config" "$work/home" "$work/out"

# Pink noise on the left, a tone on the right: material the encoders have to work on.
ffmpeg -v error -f lavfi -i "anoisesrc=d=$seconds:c=pink:r=44100:a=0.25" \
    -f lavfi -i "sine=f=440:d=$seconds:r=44100" \
    -filter_complex "[0:a][1:a]amerge=inputs=2" -ac 2 -c:a pcm_s16le "$work/long.wav"

now() { date +%s.%N; }
# elapsed START END
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
speed() { awk -v s="$seconds" -v t="$1" 'BEGIN { printf "%.1f", (t > 0 ? s / t : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

common=(--set DestOutputFolderOpt=399 --set "DestSpecifiedFolder=$work/out" --set TargetExistsOpt=22
    --set CreateDirs=0 --set BrowseOutputFolder=0)

# velmora FORMAT SETTINGS... -> prints the seconds taken
velmora() {
    local format="$1"
    shift
    local start end
    start="$(now)"
    "$cli" convert --to "$format" "${common[@]}" "$@" "$work/long.wav" </dev/null >"$work/status.txt"
    end="$(now)"
    if [[ "$(cat "$work/status.txt")" != "$work/long.wav -> $work/out/long.$format" ]]; then
        echo "velmora-cli failed: $(cat "$work/status.txt")" >&2
        exit 1
    fi
    elapsed "$start" "$end"
}

# tool COMMAND... -> prints the seconds taken
tool() {
    local start end
    start="$(now)"
    "$@" >/dev/null 2>&1
    end="$(now)"
    elapsed "$start" "$end"
}

report() { # NAME OURS THEIRS TOOLNAME
    printf '%-4s velmora %7s s (%6sx real time)   %-7s %7s s (%6sx real time)   time ratio velmora/%s %s\n' \
        "$1" "$2" "$(speed "$2")" "$4" "$3" "$(speed "$3")" "$4" "$(ratio "$2" "$3")"
}

echo "Test file: $seconds s, stereo, 44100 Hz, 16-bit; $kbps kbit/s constant/nominal bit rate"

ours="$(velmora mp3 --set AutoDestMP3EncodingParam=0 --set MP3BitRate=$kbps --set MP3SampleRate=44100 \
    --set MP3ChannelMode=1 --set MP3ID3TagType=2)"
if command -v lame >/dev/null; then
    # Joint stereo, constant bit rate, no information frame and no ReplayGain analysis: the
    # library defaults the program uses.
    theirs="$(tool lame --quiet -b $kbps --cbr -m j -t --noreplaygain "$work/long.wav" "$work/lame.mp3")"
    report MP3 "$ours" "$theirs" lame
else
    echo "MP3  velmora $ours s ($(speed "$ours")x real time); lame not installed, no comparison"
fi

ours="$(velmora ogg --set AutoDestOGGEncodingParam=0 --set OGGBitRate=$kbps --set OGGSampleRate=44100 \
    --set OGGChannels=2 --set OGGID3TagType=2)"
if command -v oggenc >/dev/null; then
    # A nominal bit rate without --managed: bit-rate management off, as in the program.
    theirs="$(tool oggenc --quiet -b $kbps -o "$work/oggenc.ogg" "$work/long.wav")"
    report OGG "$ours" "$theirs" oggenc
else
    echo "OGG  velmora $ours s ($(speed "$ours")x real time); oggenc not installed" \
        "(Debian package vorbis-tools), comparison skipped"
fi
