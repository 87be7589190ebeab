#!/usr/bin/env bash
# Installs a build the ways users do and checks what a desktop and a shell then see: staged into a
# DESTDIR with prefix /usr as the Debian package is (files in place, programs stripped, the desktop
# entry valid, the manual page clean, the notice built in so that a decoy RequestChoice on PATH
# never runs, the installed RequestChoice working alone); into ~/.local, where the install refreshes
# the file-type and desktop databases so that xdg-open and gio launch (a double-click) reach
# Tolvarn; and into a prefix with a blank and a "$". A stub DOSBox records its arguments.
# Usage: installCheck.sh BUILD_DIR
set -uo pipefail
build=$(realpath "$1")
programs="$build/tests/dos/programs"
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvarn-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The DOS programs under the names a user's folder has, the lower-case ones included.
mkdir -p "$work/game" "$work/dosbox" "$work/config/tolvarn/env/AppDir" "$work/decoy" "$work/home"
cp "$programs/GAME4G.EXE" "$work/game/GAME.EXE"
cp "$programs/WRITE.COM" "$work/game/GAME.COM"
cp "$programs/WRITE.COM" "$work/game/game.com"
cp "$programs/setup.bat" "$work/game/SETUP.BAT"
cp "$programs/setup.bat" "$work/game/setup.bat"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/dosbox.log"\n' "$work" >"$work/dosbox/DOSBox"
printf '#!/bin/sh\ntouch "%s/decoy.ran"\n' "$work" >"$work/decoy/RequestChoice"
chmod +x "$work/dosbox/DOSBox" "$work/decoy/RequestChoice"
printf '[sdl]\n' >"$work/dosbox/Tolvarn.conf"
printf '%s' "$work/dosbox" >"$work/config/tolvarn/env/AppDir/DOSBox"

# A clean session: nothing of the caller's desktop, settings or PATH.
session() {
  env -i PATH="$work/decoy:/usr/bin:/bin" HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    XDG_DATA_HOME="$work/home/.local/share" XDG_DATA_DIRS=/usr/share TOLVARN_REQUESTER=none \
    ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" "$@"
}

# Waits (up to 20 s, as gio launch returns before the program ends) until DOSBox was started
# for $1, then forgets the log.
dosbox_ran_for() {
  for _ in $(seq 200); do
    grep -q -- "-c $1 -c exit" "$work/dosbox.log" 2>/dev/null && break
    sleep 0.1
  done
  grep -q -- "-c $1 -c exit" "$work/dosbox.log" 2>/dev/null
  local found=$?
  rm -f "$work/dosbox.log"
  return $found
}

echo "== staged install, prefix /usr"
stage="$work/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr --strip >/dev/null || fail "cmake --install"
expected="/usr/bin/tolvarn
/usr/libexec/tolvarn/RequestChoice
/usr/share/applications/tolvarn.desktop
/usr/share/bash-completion/completions/tolvarn
/usr/share/icons/hicolor/scalable/apps/tolvarn.svg
/usr/share/man/man1/tolvarn.1
/usr/share/mime/packages/tolvarn.xml
/usr/share/tolvarn/Tolvarn.conf"
installed=$(cd "$stage" && find . -type f | sed 's/^\.//' | sort)
[ "$installed" = "$expected" ] || fail "installed files differ:"$'\n'"$installed"
for program in usr/bin/tolvarn usr/libexec/tolvarn/RequestChoice; do
  file -b "$stage/$program" | grep -q ', stripped' || fail "$program is not stripped"
  readelf -d "$stage/$program" | grep -q 'NEEDED.*libc\.so' ||
    fail "$program does not use the shared C library"
done
desktop="$stage/usr/share/applications/tolvarn.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=/usr/bin/tolvarn --workbench %f' "$desktop" || fail "Exec: $(grep ^Exec= "$desktop")"
warnings=$(man --warnings -l "$stage/usr/share/man/man1/tolvarn.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"
XDG_DATA_DIRS="$stage/usr/share" update-mime-database "$stage/usr/share/mime" 2>"$work/mime.err" &&
  [ ! -s "$work/mime.err" ] || fail "update-mime-database: $(cat "$work/mime.err")"

# The staged tree lives elsewhere than its prefix, as a moved installation does.
session "$stage/usr/bin/tolvarn" "$work/game/GAME.EXE" </dev/null >"$work/run.out" 2>&1 ||
  fail "the staged tolvarn failed"
dosbox_ran_for GAME.EXE || fail "the staged tolvarn did not reach DOSBox: $(cat "$work/run.out")"
[ ! -e "$work/decoy.ran" ] || fail "a RequestChoice on PATH ran instead of Tolvarn's own notice"
session "$stage/usr/libexec/tolvarn/RequestChoice" Tolvarn "A notice" OK </dev/null >/dev/null 2>&1 ||
  fail "the installed RequestChoice does not run on its own"

echo "== install into ~/.local"
local_prefix="$work/home/.local"
XDG_DATA_HOME="$local_prefix/share" cmake --install "$build" --prefix "$local_prefix" >/dev/null ||
  fail "cmake --install --prefix"
share="$local_prefix/share"
[ -s "$share/mime/mime.cache" ] || fail "the install did not build the file-type database"
grep -q 'tolvarn.desktop' "$share/applications/mimeinfo.cache" 2>/dev/null ||
  fail "the install did not refresh the desktop database"
grep -qx "Exec=$local_prefix/bin/tolvarn --workbench %f" "$share/applications/tolvarn.desktop" ||
  fail "Exec of the ~/.local install"
claimed=$(sed -n 's/^MimeType=//p' "$share/applications/tolvarn.desktop")
while read -r name type; do
  found=$(session xdg-mime query filetype "$work/game/$name")
  [ "$found" = "$type" ] || fail "$name has type '$found', expected $type"
  [[ ";$claimed" == *";$type;"* ]] || fail "the desktop entry does not claim $type"
  default=$(session xdg-mime query default "$type")
  [ "$default" = tolvarn.desktop ] || fail "the default for $type is '$default'"
  # A double-click: xdg-open, as a generic desktop session (a display set) does it.
  session DISPLAY=:99 xdg-open "$work/game/$name" >"$work/run.out" 2>&1
  dosbox_ran_for "$([[ ${name,,} == *.bat ]] && echo CALL\ )$name" ||
    fail "xdg-open $name did not reach DOSBox: $(cat "$work/run.out")"
done <<'EOF'
GAME.EXE application/x-ms-dos-executable
GAME.COM application/x-msdos-com
game.com application/x-msdos-com
SETUP.BAT application/x-msdos-batch
setup.bat application/x-msdos-batch
EOF
session gio launch "$share/applications/tolvarn.desktop" "$work/game/GAME.COM" >/dev/null 2>&1
dosbox_ran_for GAME.COM || fail "gio launch did not reach DOSBox"

echo "== a prefix with a blank and a \$"
odd="$work/odd place/a\$b"
cmake --install "$build" --prefix "$odd" >/dev/null 2>&1 || fail "cmake --install into '$odd'"
desktop-file-validate "$odd/share/applications/tolvarn.desktop" ||
  fail "desktop-file-validate ($odd)"
session gio launch "$odd/share/applications/tolvarn.desktop" "$work/game/GAME.EXE" >/dev/null 2>&1
dosbox_ran_for GAME.EXE || fail "the desktop entry of '$odd' did not start its tolvarn"

echo "== bash completion"
# Each line: the words typed so far (the last one being completed) | the completions expected.
# "=" is a word of its own, as bash splits "ISO=d" with its default word breaks.
while IFS='|' read -r words expected; do
  got=$(cd "$work/game" && cp GAME.COM DISC.ISO && cp GAME.COM disc.cue && mkdir -p Sub &&
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
             _tolvarn; printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
      _ "$local_prefix/share/bash-completion/completions/tolvarn" $words)
  [ "${got% }" = "$expected" ] || fail "completing '$words': '$got', expected '$expected'"
done <<'EOF'
tolvarn win|Window
tolvarn GAME.EXE window nod|NoDOS32A
tolvarn GAME.EXE iso =|DISC.ISO Sub disc.cue
tolvarn GAME.EXE CDdir =|Sub
tolvarn s|setup.bat
tolvarn G|GAME.COM GAME.EXE
tolvarn GAME.EXE cdl|CDletter=
EOF

[ "$failures" -eq 0 ] || exit 1
echo "all install checks passed"
