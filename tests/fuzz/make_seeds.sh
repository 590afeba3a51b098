#!/usr/bin/env bash
# Makes the fuzz seeds with the tools the tests use (sox, ffmpeg, sndfile-convert, lame) and the
# project's own seed maker, one folder per harness, every file under 4 KB.
# Usage: make_seeds.sh OUT_DIR SEED_MAKER
set -euo pipefail
out=$1
seed_maker=$2

for tool in sox ffmpeg sndfile-convert lame; do
  command -v "$tool" >/dev/null || { echo "make_seeds: $tool is missing (scripts/install-deps)" >&2; exit 1; }
done

rm -rf "$out"
mkdir -p "$out"/{wav,aiff,au,id3,mpeg,midi,store}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
# A short two-tone signal: long enough for a few blocks of every codec, short enough for 4 KB.
tone() { sox -q -n -r "$1" -c "$2" "${@:3}" synth 0.06 sine 440 sine 660; }

# WAV: every coding the reader knows, mono and stereo.
tone 8000 1 -e signed -b 16 "$out/wav/s16.wav"
tone 8000 2 -e unsigned -b 8 "$out/wav/u8_stereo.wav"
tone 4000 1 -e signed -b 24 "$out/wav/s24.wav"
tone 4000 1 -e signed -b 32 "$out/wav/s32.wav"
tone 4000 1 -e float -b 32 "$out/wav/f32.wav"
tone 2000 1 -e float -b 64 "$out/wav/f64.wav"
tone 8000 2 -e a-law "$out/wav/alaw.wav"
tone 8000 1 -e u-law "$out/wav/ulaw.wav"
tone 8000 2 -e ms-adpcm "$out/wav/msadpcm.wav"
tone 8000 1 -e ima-adpcm "$out/wav/imaadpcm.wav"
tone 8000 1 -e gsm-full-rate "$out/wav/gsm.wav"
sox -q -n -r 8000 -c 3 -e signed -b 16 -t wavpcm "$work/three.wav" synth 0.03 sine 440
ff -i "$work/three.wav" -c:a pcm_s16le -rf64 always -f wav "$out/wav/rf64.wav"
tone 8000 1 -e signed -b 16 "$work/base.wav"
ff -i "$work/base.wav" -c:a pcm_s16le -metadata title=Seed "$out/wav/listinfo.wav"

# AIFF and AIFF-C.
tone 8000 1 -e signed -b 16 "$out/aiff/s16.aiff"
tone 8000 6 -e signed -b 16 "$out/aiff/six.aiff" trim 0 0.01
tone 8000 2 -e signed -b 8 "$out/aiff/s8_stereo.aiff"
tone 4000 1 -e signed -b 24 "$out/aiff/s24.aiff"
tone 4000 1 -e float -b 32 "$out/aiff/f32.aifc"
ff -i "$work/base.wav" -c:a pcm_mulaw -f aiff "$out/aiff/ulaw.aifc"
ff -i "$work/base.wav" -c:a pcm_alaw -f aiff "$out/aiff/alaw.aifc"
ff -i "$work/base.wav" -c:a pcm_f64be -f aiff "$out/aiff/f64.aifc"
ff -i "$work/base.wav" -c:a pcm_s16le -f aiff "$out/aiff/sowt.aifc"
ff -i "$work/base.wav" -ac 2 -c:a adpcm_ima_qt -f aiff "$out/aiff/ima4.aifc"
ff -i "$work/base.wav" -c:a pcm_s16be -write_id3v2 1 -metadata title=Seed -metadata artist=Tool \
  -f aiff "$out/aiff/id3.aiff"
# sndfile-convert takes the container from the extension, so its files are renamed.
sndfile-convert -gsm610 "$work/base.wav" "$work/gsm.aif"
sndfile-convert -dwvw16 "$work/base.wav" "$work/dwvw16.aif"
sndfile-convert -dwvw24 "$work/base.wav" "$work/dwvw24.aif"
mv "$work/gsm.aif" "$out/aiff/gsm.aifc"
mv "$work"/dwvw*.aif "$out/aiff/"

# Sun/NeXT audio.
tone 8000 1 -e u-law "$out/au/ulaw.au"
tone 8000 2 -e a-law "$out/au/alaw.au"
tone 8000 1 -e signed -b 8 "$out/au/s8.au"
tone 8000 1 -e signed -b 16 "$out/au/s16.au"
tone 4000 1 -e signed -b 24 "$out/au/s24.au"
tone 4000 1 -e signed -b 32 "$out/au/s32.au"
tone 4000 1 -e float -b 32 "$out/au/f32.au"
tone 2000 1 -e float -b 64 "$out/au/f64.au"
sndfile-convert -pcm16 -endian=little "$work/base.wav" "$out/au/s16_little.au"
# No tool here writes G.721/G.723 ADPCM; any bit stream decodes, so a header over noise will do.
# Header words: magic, data offset 24, data size 600, encoding, 8000 Hz, one channel.
for encoding in 17 19 1a; do
  header=".snd\\x00\\x00\\x00\\x18\\x00\\x00\\x02\\x58\\x00\\x00\\x00\\x$encoding"
  printf "$header\\x00\\x00\\x1f\\x40\\x00\\x00\\x00\\x01" >"$out/au/g72x_$encoding.au"
  tail -c 600 "$out/au/s16.au" >>"$out/au/g72x_$encoding.au"
done

# ID3v2 tags (the harness ignores what follows the tag).
for version in 3 4; do
  ff -f lavfi -i anullsrc=r=8000:cl=mono -t 0.01 -c:a libmp3lame -id3v2_version "$version" \
    -write_xing 0 -metadata title="Seed title" -metadata artist="Caf\u00e9 artist" \
    -metadata album=Album -metadata date=2024 -metadata genre="(17)" -metadata comment=Note \
    -metadata track=3/9 -metadata composer=Composer -metadata copyright=Copy \
    -f mp3 "$out/id3/v2.$version.id3"
done
ff -f lavfi -i anullsrc=r=8000:cl=mono -t 0.01 -c:a libmp3lame -id3v2_version 3 -write_xing 0 \
  -metadata title="Zoë ♫" -f mp3 "$out/id3/utf16.id3"

# MPEG audio: the three MPEG versions, layers II and III, tags before and after.
sox -q -n -r 8000 -c 1 -b 16 "$work/quiet.wav" synth 0.15 sine 440 gain -6
lame --quiet -b 32 "$work/quiet.wav" "$out/mpeg/mpeg25.mp3"
lame --quiet -b 32 --resample 16 "$work/quiet.wav" "$out/mpeg/mpeg2.mp3"
lame --quiet -b 32 --resample 32 --id3v1-only --tt Seed "$work/quiet.wav" "$out/mpeg/mpeg1_id3v1.mp3"
lame --quiet -b 32 --add-id3v2 --tt Seed --ta Tool "$work/quiet.wav" "$out/mpeg/id3v2.mp3"
ff -i "$work/quiet.wav" -ar 16000 -c:a mp2 -b:a 32k "$out/mpeg/layer2.mp2"

"$seed_maker" "$out/midi" "$out/store"

too_big=$(find "$out" -type f -size +4095c)
if [ -n "$too_big" ]; then
  echo "make_seeds: seeds of 4 KB or more: $too_big" >&2
  exit 1
fi
