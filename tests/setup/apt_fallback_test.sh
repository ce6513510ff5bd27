#!/bin/sh
# The set-up's apt steps against a stand-in apt-get first on the PATH: a
# refresh that fails is a warning, an install that cannot be resolved is
# taken from the release's own suite, and a mirror that fails both ways
# stops in one line with a non-zero status.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

mkdir "$work/bin"
# MODE: healthy | fallback (install needs -t CODENAME) | broken (install never resolves)
cat > "$work/bin/apt-get" <<STUB
#!/bin/sh
echo "\$*" >> "$work/calls"
mode=\$(cat "$work/mode")
case "\$1" in
update)
    [ "\$mode" = healthy ] && exit 0
    echo "E: Failed to fetch stand-in-mirror/dists/x-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?" >&2
    exit 100 ;;
install)
    [ "\$mode" = healthy ] && exit 0
    case " \$* " in *" -t $codename "*) [ "\$mode" = fallback ] && exit 0 ;; esac
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100 ;;
esac
STUB
printf '#!/bin/sh\nexit 0\n' > "$work/bin/sleep"
printf '#!/bin/sh\nexec "$@"\n' > "$work/bin/sudo"
chmod +x "$work/bin/"*

run() {  # MODE
    echo "$1" > "$work/mode"
    : > "$work/calls"
    rc=0
    PATH="$work/bin:$PATH" sh "$here/scripts/apt_install.sh" wine32:i386 > "$work/out" 2> "$work/err" || rc=$?
}

run healthy
[ $rc -eq 0 ] || fail "healthy: status $rc"
[ ! -s "$work/err" ] || fail "healthy: said $(cat "$work/err")"
grep -q -- '-t ' "$work/calls" && fail "healthy: fell back: $(cat "$work/calls")"
[ "$(grep -c '^update' "$work/calls")" -eq 1 ] || fail "healthy: updates $(grep -c '^update' "$work/calls")"

run fallback
[ $rc -eq 0 ] || fail "fallback: status $rc"
[ "$(grep -c '^update' "$work/calls")" -eq 3 ] || fail "fallback: update not tried 3 times"
grep -q "warning: apt-get update failed.*binary-i386/Packages.xz" "$work/err" || fail "fallback: failed index not named: $(cat "$work/err")"
grep -q "security updates were not taken.*$codename" "$work/err" || fail "fallback: not said: $(cat "$work/err")"
grep -q "^install .*-t $codename wine32:i386" "$work/calls" || fail "fallback: not taken: $(cat "$work/calls")"
[ "$(wc -l < "$work/err")" -eq 2 ] || fail "fallback: not two lines: $(cat "$work/err")"

run broken
[ $rc -ne 0 ] || fail "broken: status 0"
tail -n1 "$work/err" | grep -q "mirror is likely mid-sync: run ./scripts/setup.sh again later" || fail "broken: stop line: $(cat "$work/err")"
[ "$(grep -c 'mid-sync: run' "$work/err")" -eq 1 ] || fail "broken: stop not one line"

[ $fails -eq 0 ] && echo "apt fallback: 3 cases passed"
exit $((fails > 0))
