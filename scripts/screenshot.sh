#!/bin/sh
# Remakes docs/control_dialog.png: the control dialog with the starter
# library in its list, after its emboss is picked and previewed, captured
# under Xvfb by a disabled test of preview_test.exe.
# The Wine prefix draws window frames itself (scripts/setup.sh sets that up),
# so the picture has its caption although no window manager runs under Xvfb.
set -eu
. "$(dirname "$0")/env.sh"
"$root/scripts/build.sh"

out="$root/docs/control_dialog.png"
mkdir -p "$root/docs"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
start_wine
run_wine 60 "$root/build/win/bin/make_starter_set.exe" "$(winpath "$root/library/starter/kernels.txt")" \
    "$(winpath "$tmp/VLM.SET")" >/dev/null
cd "$root/build/win/bin"
# The path in Wine's terms (winpath): a winepath run would start a
# Wine server without the display, and the dialog would never show.
VLM_SCREENSHOT="$(winpath "$out")" VLM_SCREENSHOT_LIBRARY="$(winpath "$tmp/VLM.SET")" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$root/scripts/with_wine.sh" timeout -k 10 300 wine preview_test.exe --gtest_also_run_disabled_tests \
    --gtest_filter='PreviewDialog.DISABLED_Screenshot'
stop_wine_server
echo "wrote $out"
