#!/usr/bin/env bash
# Tries ./test and ./run as a new user would: in a brand-new minimal Debian 12 root.
#   tools/fresh-check.sh          makes the root, runs ./test then ./run in it, removes it
#   KEEP=1 tools/fresh-check.sh   leaves the root in place afterwards (its path is printed)
#   ROOT=/path tools/fresh-check.sh   makes the root there (it must not exist yet)
#
# The root comes from debootstrap --variant=minbase (installed when missing), fetched from the
# mirror this machine's own apt sources name; the committed HEAD is cloned into it, so
# uncommitted changes are not tried. Inside, as root and without a display, it runs ./test and
# then ./run, printing what each printed and its exit status. About 15 to 20 minutes on 2 cores.
# Needs root (debootstrap, chroot, mounts). Exits with 0 only when both commands exited 0.
set -euo pipefail
top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$top" rev-parse HEAD)
suite=bookworm

[ "$(id -u)" -eq 0 ] || { echo "fresh-check: needs root (debootstrap, chroot and mounts)" >&2; exit 2; }

# The first "deb" source for the suite in this machine's apt configuration: deb822 paragraphs in
# /etc/apt/sources.list.d/*.sources, or one-line entries in *.list files.
find_mirror() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uris != "") {
          split(uris, u, " "); print u[1]; found = 1; exit
        }
        types = ""; uris = ""; suites = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/  { sub(/^Types:[ \t]*/, "");  types = $0 }
      /^URIs:/   { sub(/^URIs:[ \t]*/, "");   uris = $0 }
      /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
      END { if (!found) flush() }' "$f" | head -n 1
  done
  for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list; do
    [ -f "$f" ] || continue
    awk -v suite="$suite" '$1 == "deb" {
        i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i + 1) == suite) { print $i; exit } }' "$f"
  done
}
mirror=$(find_mirror | head -n 1)
[ -n "$mirror" ] || { echo "fresh-check: no 'deb' source for $suite in /etc/apt/sources.list.d" >&2; exit 2; }

if ! command -v debootstrap >/dev/null; then
  echo "Installing debootstrap"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

root=${ROOT:-$(mktemp -d /var/tmp/dravello-fresh.XXXXXX)}
if [ -n "${ROOT:-}" ]; then
  [ ! -e "$root" ] || { echo "fresh-check: $root exists already" >&2; exit 2; }
  mkdir -p "$root"
fi
root=$(cd "$root" && pwd)
# A machine's / is open to every user; mktemp makes the folder for its owner only, and the tests
# that drop root to "nobody" could not reach anything below it.
chmod 0755 "$root"

mounts=()
cleanup() {
  local status=$? i
  # Unmount in reverse order; the root is removed only when nothing is mounted below it any more,
  # so a failed unmount can never lead rm into the machine's own /dev, /proc or /sys.
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount -R "${mounts[i]}" 2>/dev/null || umount -R -l "${mounts[i]}" 2>/dev/null || true
  done
  if [ "${KEEP:-0}" = 1 ]; then
    echo "fresh-check: the root stays at $root"
  elif grep -q " $root/" /proc/self/mounts; then
    echo "fresh-check: something is still mounted below $root; not removing it" >&2
  else
    rm -rf --one-file-system "$root"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

echo "== debootstrap --variant=minbase $suite into $root"
debootstrap --variant=minbase "$suite" "$root" "$mirror" > "$root.debootstrap.log" 2>&1 || {
  tail -n 30 "$root.debootstrap.log" >&2; rm -f "$root.debootstrap.log"; exit 1; }
rm -f "$root.debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"

for m in proc sys dev; do
  mkdir -p "$root/$m"
  case $m in
    proc) mount -t proc proc "$root/proc" ;;
    *) mount --rbind "/$m" "$root/$m"; mount --make-rslave "$root/$m" ;;
  esac
  mounts+=("$root/$m")
done

echo "== cloning $commit"
git clone -q --no-local "$top" "$root/root/dravello"
git -C "$root/root/dravello" checkout -q --detach "$commit"

# What a new user's login shell gives: no display, no variables of this session.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/dravello && $1"
}

test_status=0
echo "== ./test"
in_root ./test || test_status=$?
run_status=0
echo "== ./run"
in_root ./run || run_status=$?

echo "== fresh-check of $commit: ./test exited $test_status, ./run exited $run_status"
[ "$test_status" -eq 0 ] && [ "$run_status" -eq 0 ]
