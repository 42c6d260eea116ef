#!/usr/bin/env bash
# Builds a bench set of real-music MP3 files under build/real-music/.
#
# The sources are game soundtracks that Debian ships as Ogg Vorbis; each one
# is cut to a 45 s excerpt and encoded with LAME at one of the settings people
# actually use, so the set covers the frame layouts that real files have
# (CBR, VBR, ABR, forced mid/side, mono, MPEG-2 LSF, 48 kHz, ID3v2 with a
# picture) on music rather than on synthetic signals.
#
# Rerunning is cheap: the downloaded packages are kept in
# build/real-music/cache/debs/, and files already built are kept.
set -euo pipefail
shopt -s inherit_errexit

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$root/build/real-music"
cache="$out/cache"
debs="$cache/debs"
unpacked="$cache/unpacked"

EXCERPT=45   # seconds per file
OFFSET=30    # skip intros, which are often near-silent

# NN|setting|package|path inside the package|short name|artist|tags|lame options
# tags: "-" none, "text" ID3 text frames, "pic" text frames plus a picture.
WES=usr/share/games/wesnoth/1.16/data/core/music
HR=usr/share/hyperrogue/music
SET="\
01|cbr128|wesnoth-1.16-music|$WES/battle.ogg|battle|-|-|-b 128
02|cbr192|hyperrogue-music|$HR/hr3-graveyard.ogg|graveyard|-|-|-b 192
03|cbr320|wesnoth-1.16-music|$WES/the_dangerous_symphony.ogg|dangerous-symphony|-|-|-b 320
04|v0|hyperrogue-music|$HR/hr3-jungle.ogg|jungle|-|-|-V 0
05|v2|hyperrogue-music|$HR/hr3-rlyeh.ogg|rlyeh|Shawn Parrotte|text|-V 2
06|v5|wesnoth-1.16-music|$WES/elvish-theme.ogg|elvish-theme|-|-|-V 5
07|abr160|hyperrogue-music|$HR/hr-domina-mountain.ogg|mountain|-|-|--abr 160
08|ms112|wesnoth-1.16-music|$WES/northerners.ogg|northerners|-|-|-m f -b 112
09|ms160|hyperrogue-music|$HR/hr3-hell.ogg|hell|-|-|-m f -b 160
10|mono96|wesnoth-1.16-music|$WES/traveling_minstrels.ogg|minstrels|-|-|-m m -b 96
11|mpeg2-22k|wesnoth-1.16-music|$WES/loyalists.ogg|loyalists|-|-|--resample 22.05 -b 64
12|id3pic|hyperrogue-music|$HR/hr3-laboratory.ogg|laboratory|Shawn Parrotte|pic|-V 2
13|cbr256|wesnoth-1.16-music|$WES/vengeful.ogg|vengeful|-|-|-b 256
14|v4|wesnoth-1.16-music|$WES/knalgan_theme.ogg|knalgan-theme|-|-|-V 4
15|stereo192|wesnoth-1.16-music|$WES/siege_of_laurelmor.ogg|laurelmor|-|-|-m s -b 192
16|v2-48k|wesnoth-1.16-music|$WES/heroes_rite.ogg|heroes-rite|-|-|--resample 48 -V 2"

album_of() {
  case "$1" in
    wesnoth-1.16-music) echo "The Battle for Wesnoth 1.16" ;;
    hyperrogue-music) echo "HyperRogue" ;;
    *) echo "$1" ;;
  esac
}

licence_of() {
  case "$1" in
    wesnoth-1.16-music) echo "GPL-2+" ;;
    hyperrogue-music) echo "CC-BY-SA-3.0" ;;
    *) echo "see /usr/share/doc/$1/copyright" ;;
  esac
}

expected=()
while IFS='|' read -r nn setting _pkg _path short _rest; do
  expected+=("$nn-$setting-$short.mp3")
done <<<"$SET"

print_set() {
  local total=0 size f
  echo "Bench set in $out:"
  for f in "${expected[@]}"; do
    size=$(stat -c %s "$out/$f")
    total=$((total + size))
    printf '%10d  %s\n' "$size" "$f"
  done
  printf '%10d  total (%d files, %s)\n' "$total" "${#expected[@]}" \
    "$(numfmt --to=iec-i --suffix=B --format=%.1f "$total")"
}

set_complete() {
  local f
  for f in "${expected[@]}"; do
    [[ -s "$out/$f" ]] || return 1
  done
}

mkdir -p "$out"
if set_complete; then
  echo "Set is complete already; nothing to do."
  print_set
  exit 0
fi

sudo_cmd=()
if [[ $EUID -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    sudo_cmd=(sudo)
  fi
fi

apt_updated=0
apt_update() {
  if [[ $apt_updated -eq 0 ]]; then
    echo "Refreshing package lists..."
    "${sudo_cmd[@]}" apt-get update -q
    apt_updated=1
  fi
}

install_tools() {
  local missing=()
  command -v oggdec >/dev/null || missing+=(vorbis-tools)
  command -v lame >/dev/null || missing+=(lame)
  { command -v sox >/dev/null && command -v soxi >/dev/null; } || missing+=(sox)
  [[ ${#missing[@]} -eq 0 ]] && return 0
  if [[ $EUID -ne 0 && ${#sudo_cmd[@]} -eq 0 ]]; then
    echo "error: need ${missing[*]} installed, and installing takes root" >&2
    exit 1
  fi
  echo "Installing ${missing[*]}..."
  local install=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive
    apt-get install -y -q --no-install-recommends "${missing[@]}")
  if ! "${install[@]}"; then
    apt_update
    "${install[@]}"
  fi
}

# Sets deb_file to the cached .deb of a package, downloading it if there is
# none. Results come back in globals, not on stdout, because a function run
# inside $(...) does not stop the script when one of its commands fails.
deb_file=
fetch_deb() {
  local pkg="$1" d
  deb_file=
  for d in "$debs/${pkg}"_*.deb; do
    [[ -f "$d" ]] && deb_file="$d" && return 0
  done
  mkdir -p "$debs"
  # Downloading into a private folder and moving only a finished .deb keeps an
  # interrupted download from passing for a cached one.
  local tmp
  tmp="$(mktemp -d "$debs/.fetch.XXXXXX")"
  local dl=(apt-get download -q)
  # apt's unprivileged download user cannot write to a root-owned tree; as root
  # the download runs as root anyway, so say so rather than be warned.
  [[ $EUID -eq 0 ]] && dl+=(-o APT::Sandbox::User=root)
  echo "Downloading $pkg..."
  if ! (cd "$tmp" && "${dl[@]}" "$pkg"); then
    apt_update
    (cd "$tmp" && "${dl[@]}" "$pkg")
  fi
  local got=("$tmp"/*.deb)
  if [[ ! -f "${got[0]}" ]]; then
    echo "error: apt-get download $pkg produced no .deb" >&2
    exit 1
  fi
  mv "${got[0]}" "$debs/"
  rm -rf "$tmp"
  deb_file="$debs/$(basename "${got[0]}")"
}

# Sets pkg_dir to the folder a package is unpacked in, unpacking it first if
# needed. A cached .deb that does not unpack whole (say, one cut short by a
# full disk) is thrown away and fetched again once.
pkg_dir=
unpack_pkg() {
  local pkg="$1"
  pkg_dir="$unpacked/$pkg"
  [[ -f "$pkg_dir/.unpacked" ]] && return 0
  local try
  for try in 1 2; do
    fetch_deb "$pkg"
    rm -rf "$pkg_dir" "$pkg_dir.tmp"
    mkdir -p "$pkg_dir.tmp"
    echo "Unpacking $(basename "$deb_file")..."
    if dpkg-deb -x "$deb_file" "$pkg_dir.tmp"; then
      # The marker goes in last, so only a whole unpack counts as done.
      touch "$pkg_dir.tmp/.unpacked"
      mv "$pkg_dir.tmp" "$pkg_dir"
      return 0
    fi
    rm -rf "$pkg_dir.tmp"
    if [[ $try -eq 1 ]]; then
      echo "warning: $(basename "$deb_file") is damaged; fetching it again" >&2
      rm -f "$deb_file"
    fi
  done
  echo "error: cannot unpack $pkg" >&2
  exit 1
}

install_tools

mkdir -p "$cache"
work="$(mktemp -d "$cache/.work.XXXXXX")"
trap 'rm -rf "$work"' EXIT

start_time=$SECONDS
# The table comes in on fd 3 so that no tool in the loop can eat it from stdin.
while IFS='|' read -r -u 3 nn setting pkg path short artist tags opts; do
  name="$nn-$setting-$short.mp3"
  dest="$out/$name"
  [[ -s "$dest" ]] && continue

  unpack_pkg "$pkg"
  src="$pkg_dir/$path"
  if [[ ! -f "$src" ]]; then
    echo "error: $pkg has no $path (package layout changed?)" >&2
    exit 1
  fi

  echo "Making $name"
  oggdec -Q -o "$work/full.wav" "$src"
  dur="$(soxi -D "$work/full.wav")"
  # Start OFFSET s in where the track is long enough; otherwise take the last
  # EXCERPT s, or the whole track if it is shorter than that.
  read -r cut_start cut_len < <(awk -v d="$dur" -v o="$OFFSET" -v e="$EXCERPT" 'BEGIN {
      if (d >= o + e) s = o; else if (d > e) s = d - e; else s = 0;
      l = (d - s < e) ? d - s : e;
      printf "%.3f %.3f\n", s, l }')
  sox "$work/full.wav" "$work/cut.wav" trim "$cut_start" "$cut_len"

  read -r -a lame_opts <<<"$opts"
  tag_opts=()
  if [[ "$tags" != "-" ]]; then
    tag_opts=(--tt "$short" --tl "$(album_of "$pkg")" --tg Soundtrack
      --tc "$(licence_of "$pkg"), Debian package $pkg")
    [[ "$artist" != "-" ]] && tag_opts+=(--ta "$artist")
    if [[ "$tags" == "pic" ]]; then
      # A spectrogram of the excerpt serves as cover art: a real PNG of a
      # realistic size, made without any image tool beyond sox.
      sox "$work/cut.wav" -n remix - spectrogram -r -x 160 -y 129 \
        -o "$work/cover.png"
      tag_opts+=(--ti "$work/cover.png")
    fi
  fi

  lame --quiet "${lame_opts[@]}" "${tag_opts[@]}" "$work/cut.wav" "$work/out.mp3"
  if [[ ! -s "$work/out.mp3" ]]; then
    echo "error: lame produced no output for $name" >&2
    exit 1
  fi
  mv "$work/out.mp3" "$dest"
  rm -f "$work"/*.wav "$work/cover.png"
done 3<<<"$SET"

# The debs are the cache; the unpacked trees only double the disk use.
rm -rf "$unpacked"

# Files from an older version of the table would otherwise linger in the set.
for f in "$out"/[0-9][0-9]-*.mp3; do
  [[ -e "$f" ]] || continue
  keep=0
  for e in "${expected[@]}"; do [[ "$(basename "$f")" == "$e" ]] && keep=1; done
  if [[ $keep -eq 0 ]]; then
    echo "Removing stale $(basename "$f")"
    rm -f "$f"
  fi
done

echo "Built in $((SECONDS - start_time)) s."
print_set
