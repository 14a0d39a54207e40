#!/bin/bash
# vantor-cli's manual page and bash completion name exactly the commands and
# options --help names, and every example in the manual page and the README
# runs, against the emulator with the sample set-up.
#   docs-test.sh CLI EMULATOR DATABASE MANPAGE COMPLETION README SAMPLE_INI
set -u
cli=$1 emulator=$2 database=$3 man=$4 completion=$5 readme=$6 sample=$7
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# ---- the lists --------------------------------------------------------------
help=$("$cli" --help)
commands=$(sed -n '/^Commands:/,/^$/p' <<<"$help" | awk 'NR > 1 && NF { print $1 }')
options=$( (echo "$help"; for c in $commands; do "$cli" "$c" --help; done) |
    grep -oE -- '--[a-z][a-z-]+' | sort -u)
listed=$(sed -n 's/^ *local options="\(.*\)"$/\1/p' "$completion" | tr ' ' '\n' | sort -u)
for c in $commands; do
    grep -q "^\.B ${c}\b" "$man" || fail "man page lacks the command $c"
    grep -q "local commands=.*\b$c\b" "$completion" || fail "completion lacks the command $c"
done
for o in $options; do
    grep -q -- "${o//-/\\\\-}" "$man" || fail "man page lacks $o"
    grep -qx -- "$o" <<<"$listed" || fail "completion lacks $o"
done
for o in $listed; do
    grep -qx -- "$o" <<<"$options" || fail "completion offers $o, which --help does not name"
done

# ---- the examples -----------------------------------------------------------
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$sample" "$work/emulator.ini"
export VANTOR_EMULATOR_CONFIG=$work/emulator.ini
head -c 65536 /dev/urandom > "$work/firmware.bin"
cp "$work/firmware.bin" "$work/fw.bin"
printf ':0400000001020304F2\n:00000001FF\n' > "$work/image.hex"
printf ':020000040800F2\n:0400000001020304F2\n:00000001FF\n' > "$work/firmware.hex"
# Every way the examples name the program reaches the built one and the emulator.
mkdir "$work/bin"
printf '#!/bin/sh\nexec "%s" --db "%s" --usb-library "%s" "$@"\n' "$cli" "$database" "$emulator" \
    > "$work/bin/vantor-cli"
chmod +x "$work/bin/vantor-cli"
export PATH=$work/bin:$PATH

run_block() { # $1: where it comes from; stdin: the example's lines
    local script
    script=$(sed -e 's|build/demo/vantor-cli|vantor-cli|g' \
                 -e 's|/usr/lib/vantor/emulator/libusb-0.1.so.4|'"$emulator"'|g' \
                 -e '/^\(sudo\|cmake\|scripts\/\|(cd\|LD_LIBRARY_PATH\)/d')
    [[ -z $script ]] && return
    (cd "$work" && bash -e -o pipefail -c "$script") >/dev/null 2>"$work/err" ||
        fail "$1 example does not run: $script
$(cat "$work/err")"
}

# The manual page's EXAMPLES: .nf to .fi, joined at trailing backslashes.
sed -n '/^\.SH EXAMPLES/,/^\.SH/p' "$man" | sed -n '/^\.nf/,/^\.fi/p' | sed '/^\.[nf][fi]$/d' |
    sed -e 's/\\-/-/g' -e 's/\\e$/\\/' | sed -e ':a' -e '/\\$/N; s/\\\n//; ta' |
    while IFS= read -r line; do run_block "man page" <<<"$line"; done

# The README's code blocks (lines indented by four) that use vantor-cli.
awk '/^    / { block = block substr($0, 5) "\n"; next }
     { if (block ~ /vantor-cli/) printf "%s\x1e", block; block = "" }' "$readme" |
    while IFS= read -r -d $'\x1e' block; do run_block README <<<"${block%$'\n'}"; done

exit $failed
