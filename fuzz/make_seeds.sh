#!/usr/bin/env bash
# fuzz/make_seeds.sh OUT: writes a seed corpus per harness under OUT/<harness>/,
# all from generated data: orvane sample archives and their containers, MP3
# files that lame encodes from generated sound, and their sumbrel-coded forms.
# Seeds stay small (at most about 100 KB) so that every run is quick.
# Needs the release tree (build/bin) and the fuzz tree's standin-seeds;
# BIN and FUZZ_BIN name other places for them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: fuzz/make_seeds.sh OUT}
bin=${BIN:-$root/build/bin}
fuzz_bin=${FUZZ_BIN:-$root/build-fuzz/bin}

for tool in orvane orvane-sample sumbrel; do
  [ -x "$bin/$tool" ] || { echo "make_seeds: $bin/$tool missing (scripts/build.sh release)" >&2; exit 1; }
done
command -v lame >/dev/null || { echo "make_seeds: lame missing (scripts/setup.sh)" >&2; exit 1; }

mkdir -p "$out"/{standin_decompress,orvane_decode,orvane_scan,mp3_frames,coder_literals,sumbrel_module,sumbrel_restore,sumbrel_restore2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$fuzz_bin/standin-seeds" "$out/standin_decompress"

# Archives with stand-in streams at several levels, and their containers.
for size_seed in "3000 1" "10000 2" "20000 3" "30000 4"; do
  set -- $size_seed
  "$bin/orvane-sample" "$1" "$2" >"$out/orvane_scan/sample-$1"
  "$bin/orvane" e <"$out/orvane_scan/sample-$1" >"$out/orvane_decode/container-$1"
done
head -c 5000 /dev/zero | "$bin/orvane" e >"$out/orvane_decode/container-raw"
# A container of the plain layout, with the end record that proves nothing.
cp "$root/tests/orvane/data/plain-layout.orv" "$out/orvane_decode/container-plain"

# Generated sound as raw 16-bit PCM: silence, and counting text read as
# samples (deterministic, with structure a coder can find).
head -c 400000 /dev/zero >"$work/silence.raw"
seq 1 70000 >"$work/text.raw"

# MPEG-1, -2 and -2.5, mono and stereo, CBR, VBR and ABR, CRC, tags.
i=0
for options in "-s 44.1 -b 128" "-s 48 -m m -b 64 -p" "-s 32 -V 2" "-s 22.05 -b 32" \
               "-s 24 -m m -b 16 -p" "-s 16 --abr 24" "-s 11.025 -b 16" "-s 8 -m m -b 8" \
               "-s 44.1 -b 96 --add-id3v2 --tt Title --ta Artist" "-s 12 -m s -b 24 --nores"; do
  i=$((i + 1))
  for sound in silence text; do
    # shellcheck disable=SC2086
    lame --quiet -r --bitwidth 16 $options "$work/$sound.raw" "$work/clip.mp3" 2>/dev/null
    head -c 60000 "$work/clip.mp3" >"$out/mp3_frames/clip-$i-$sound.mp3"
  done
done

# sumbrel-coded forms of a few clips (and what the coder reads in them).
for f in "$out"/mp3_frames/clip-{1,2,4,6,8,9}-text.mp3; do
  name=$(basename "$f")
  # A whole job per execution: short files keep the harness quick.
  head -c 12000 "$f" >"$out/sumbrel_module/$name"
  "$bin/sumbrel" compress -j 1 --format 1 -f -o "$out/sumbrel_module/$name.sbk" "$out/sumbrel_module/$name" >/dev/null
  head -c 4016 "$out/sumbrel_module/$name.sbk" | tail -c +17 >"$out/coder_literals/$name.coded"
done
# A file on which model coding does not pay: the stored form.
head -c 3000 "$out/orvane_scan/sample-20000" >"$work/random.mp3"
"$bin/sumbrel" compress -j 1 --format 1 -f -o "$out/sumbrel_module/random.mp3.sbk" "$work/random.mp3" >/dev/null
printf 'plain text that is no frame at all\n' >"$out/coder_literals/text"
# The restore harness takes model-coded files of about ten frames: each execution restores
# its input three times (whole and two cuts), and more frames reach no more of the decoder.
for f in "$out"/mp3_frames/clip-{1,2,4,6,8,9,10}-text.mp3; do
  head -c 4000 "$f" >"$work/short.mp3"
  "$bin/sumbrel" compress -j 1 --format 1 -f -o "$out/sumbrel_restore/$(basename "$f").sbk" "$work/short.mp3" >/dev/null
done

# The format-2 harness takes MP3 files and runs six jobs on each: short clips, and bytes that
# do not compress, which take the stored form.
for f in "$out"/mp3_frames/clip-{1,4,8,10}-text.mp3; do
  head -c 2000 "$f" >"$out/sumbrel_restore2/$(basename "$f")"
done
head -c 1000 "$out/orvane_scan/sample-20000" >"$out/sumbrel_restore2/random.mp3"

echo "make_seeds: $(find "$out" -type f | wc -l) seeds in $out"
