#!/usr/bin/env bash
# make install / make uninstall through scripts/install-velluna, into a scratch home and a
# staged prefix: everything lands where hosts look, the installed LV2 bundle is found by lilv,
# and uninstall removes exactly what install put there.
#   InstallTest.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_file() { [[ -f "$1" ]] || fail "missing $1"; }
expect_exec() { [[ -x "$1" ]] || fail "not executable: $1"; }

home=$scratch/home
# Someone else's plug-in, which must survive uninstall.
mkdir -p "$home/.vst3/Other.vst3" && touch "$home/.vst3/Other.vst3/keep"
HOME=$home "$src/scripts/install-velluna" install "$build" >/dev/null

expect_file "$home/.lv2/Velluna.lv2/manifest.ttl"
expect_file "$home/.lv2/Velluna.lv2/Velluna_dsp.so"
expect_file "$home/.lv2/Velluna.lv2/presets.ttl"
expect_file "$home/.lv2/Velluna.lv2/resources/midi.lua"
expect_file "$home/.vst3/Velluna.vst3/Contents/x86_64-linux/Velluna.so"
expect_file "$home/.vst3/Velluna.vst3/Contents/Resources/midi.lua"
expect_file "$home/.clap/Velluna/Velluna.clap"
expect_file "$home/.clap/Velluna/resources/midi.lua"
# The editor's files sit beside "midi.lua" wherever the plug-ins and the standalone look.
for folder in .lv2/Velluna.lv2/resources .vst3/Velluna.vst3/Contents/Resources \
    .clap/Velluna/resources .local/share/velluna; do
    for file in gui.lua knobshader.txt ripple.png ripple_hi.png fonts/DejaVuSans.ttf; do
        expect_file "$home/$folder/$file"
    done
done
expect_exec "$home/.local/bin/velluna"
expect_exec "$home/.local/bin/velluna-standalone"
expect_file "$home/.local/share/velluna/midi.lua"
[[ $(ls "$home/.vst3/presets/Tarnwick/Velluna"/*.vstpreset | wc -l) == 32 ]] ||
    fail "not 32 VST3 preset files in ~/.vst3/presets/Tarnwick/Velluna"

# A host looking in ~/.lv2 finds the installed plug-in.
info=$(LV2_PATH=$home/.lv2 lv2info urn:tarnwick:velluna 2>&1) || true
[[ "$info" == *"$home/.lv2/Velluna.lv2/Velluna_dsp.so"* ]] ||
    fail "lv2info does not find the installed bundle: $info"

HOME=$home "$src/scripts/install-velluna" uninstall "$build" >/dev/null
for gone in .lv2/Velluna.lv2 .vst3/Velluna.vst3 .clap/Velluna .local/bin/velluna \
    .local/bin/velluna-standalone .local/share/velluna .vst3/presets/Tarnwick/Velluna; do
    [[ ! -e "$home/$gone" ]] || fail "uninstall left $gone"
done
[[ -f "$home/.vst3/Other.vst3/keep" ]] || fail "uninstall removed another plug-in"

# A system prefix, staged.
DESTDIR=$scratch/stage "$src/scripts/install-velluna" install "$build" /usr/local >/dev/null
expect_file "$scratch/stage/usr/local/lib/lv2/Velluna.lv2/manifest.ttl"
expect_file "$scratch/stage/usr/local/lib/vst3/Velluna.vst3/Contents/x86_64-linux/Velluna.so"
expect_file "$scratch/stage/usr/local/lib/clap/Velluna/Velluna.clap"
expect_exec "$scratch/stage/usr/local/bin/velluna-standalone"
expect_file "$scratch/stage/usr/local/share/velluna/midi.lua"
expect_file "$scratch/stage/usr/local/share/vst3/presets/Tarnwick/Velluna/PW Dive.vstpreset"

# A build without plug-ins is refused before anything is copied.
if HOME=$scratch/empty "$src/scripts/install-velluna" install "$scratch/nobuild" 2>/dev/null; then
    fail "install from a missing build succeeded"
fi
[[ ! -e "$scratch/empty/.lv2" ]] || fail "a refused install left files behind"
echo "install test passed"
