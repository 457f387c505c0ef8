#!/usr/bin/env bash
# Builds the Debian package from the built program, unpacks it into a throw-away root, and runs the
# installed program without a display, as a user who cannot write its folder: the INI and the log
# must be in that user's XDG folders, and nothing beside the program.
#   package_deb_test.sh PATH/TO/tools/package-deb.sh BIN_DIR
# Exits 77 (skipped) when it runs as root and cannot become another user.
set -uo pipefail
package=$1
bin=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
fails=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi
}

# Whoever runs the installed program must not be able to write its folder: as root, that is
# another user; as anyone else, a folder without write permission.
as_user=()
if [ "$(id -u)" = 0 ]; then
  command -v setpriv >/dev/null || { echo "skipped: running as root and setpriv is missing"; exit 77; }
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

deb=$(bash "$package" --prebuilt "$bin" "$work/dist") || { echo "FAIL the package cannot be built"; exit 1; }
check "the package is named dravello_<version>_<arch>.deb" \
  test "$(basename "$deb")" = "dravello_$(sed -n 's/^project(Dravello VERSION \([0-9.]*\).*/\1/p' "$(dirname "$package")/../CMakeLists.txt")_$(dpkg --print-architecture).deb"
info=$(dpkg-deb --field "$deb" Package Depends)
check "it is the package dravello" grep -q "^Package: dravello$" <<<"$info"
check "it depends on the C library" grep -q "libc6" <<<"$info"
check "and on the libraries of the engine" grep -q "libdeflate0" <<<"$info"
if objdump -p "$bin/dravello" | grep -q "NEEDED.*libQt6Widgets"; then
  check "and on the Qt libraries the window needs" grep -q "libqt6widgets6" <<<"$info"
fi
contents=$(dpkg-deb --contents "$deb")
for path in ./usr/lib/dravello/dravello ./usr/lib/dravello/ZIPENGINE.DLL ./usr/share/applications/dravello.desktop \
            ./usr/share/icons/hicolor/scalable/apps/dravello.svg ./usr/share/man/man1/dravello.1.gz; do
  check "it installs $path" grep -q " $path\$" <<<"$contents"
done
check "and /usr/bin/dravello as a link to the program" grep -q " ./usr/bin/dravello -> ../lib/dravello/dravello$" <<<"$contents"
check "owned by root" test -z "$(grep -v ' root/root ' <<<"$contents")"

root="$work/root"
dpkg-deb -x "$deb" "$root"
if command -v desktop-file-validate >/dev/null; then
  check "the desktop entry is valid" desktop-file-validate "$root/usr/share/applications/dravello.desktop"
fi
check "the desktop entry starts the program with its icon" \
  grep -qx "Exec=dravello" "$root/usr/share/applications/dravello.desktop"
check "the man page is intact" gzip -t "$root/usr/share/man/man1/dravello.1.gz"

# A user's home with a copy script and a pack script over a small tree.
home="$work/home"
mkdir -p "$home/.config/dravello" "$work/src/sub" "$work/dst"
printf 'a' > "$work/src/a.txt"
printf 'b' > "$work/src/sub/b.txt"
ini="$home/.config/dravello/dravello.ini"
printf '%s\r\n' "[applic]" "lang=en" "" "[scripts]" "Copy=" "Pack=" "" \
  "[script: Copy]" "CopyFiles=1" "DstPath=$work/dst/copy" "DstFormat=2" "SrcPath=\"1$work/src\"" "" \
  "[script: Pack]" "CopyFiles=0" "DstPath=$work/dst/pack" "DstFormat=0" "SrcPath=\"1$work/src\"" > "$ini"
chmod -R a+rX "$work"
if [ ${#as_user[@]} -gt 0 ]; then
  chown -R 65534:65534 "$home" "$work/dst"
else
  chmod -R a-w "$root/usr"
fi
run() {  # run [VAR=VALUE...] -- ARGS...: the installed program without a display, as that user
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  env -i HOME="$home" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 "${vars[@]}" "${as_user[@]}" "$root/usr/bin/dravello" "$@" \
    > "$work/out" 2> "$work/err"
}

run -- Copy
check "the installed program runs a copy script and exits with 0" test $? -eq 0
check "it read the scripts from ~/.config/dravello" test -f "$work/dst/copy$work/src/sub/b.txt"
log="$home/.local/state/dravello/dravello.log"
check "its log is in ~/.local/state/dravello" grep -q "\[Copy\] === Finished script ===" "$log"
check "the settings are still where they were" test -f "$ini"
run -- Pack
check "it finds its engine beside itself and packs" test $? -eq 0
check "the archive was read back" grep -q "\[Pack\] Verified 2 files." "$log"
check "unzip accepts the archive" unzip -tqq "$(ls "$work"/dst/pack/*.zip)"
check "nothing was written beside the program" \
  test "$(ls -A "$root/usr/lib/dravello" | tr '\n' ' ')" = "ZIPENGINE.DLL dravello "
check "nor beside its link" test "$(ls -A "$root/usr/bin" | tr '\n' ' ')" = "dravello "
check "no run journal is left" test -z "$(ls "$home/.config/dravello" | grep -v '^dravello.ini$')"

# The XDG variables, when set, name the folders.
mkdir -p "$work/cfg/dravello" "$work/state"
cp "$ini" "$work/cfg/dravello/dravello.ini"
[ ${#as_user[@]} -gt 0 ] && chown -R 65534:65534 "$work/cfg" "$work/state"
run XDG_CONFIG_HOME="$work/cfg" XDG_STATE_HOME="$work/state" -- Copy
check "with XDG_CONFIG_HOME and XDG_STATE_HOME set it runs too" test $? -eq 0
check "logging to \$XDG_STATE_HOME/dravello" grep -q "\[Copy\] === Finished script ===" "$work/state/dravello/dravello.log"
run XDG_CONFIG_HOME="$work/cfg" XDG_STATE_HOME="$work/state" -- --dry-run Pack
check "a dry run of the installed program works" grep -q "^Packing 2 files...$" "$work/out"

exit $((fails > 0))
