#!/bin/sh
# Drives initool on copies of the files in DATADIR and compares what it prints and what it leaves
# on disk with DATADIR/expected.
#   usage: initool_test.sh INITOOL DATADIR
set -u

tool=$1
data=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/initool-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT INT TERM
failures=0
cases=0

fail() {
  echo "FAIL $name: $*"
  failures=$((failures + 1))
}

# check NAME INPUT STATUS RESULT OP ARG... [-- OP ARG...]...
#   INPUT   a file of DATADIR that the work file starts as; "-" for no file; "dir" for a folder
#   STATUS  the expected exit status
#   RESULT  same    the file is byte-identical and was not replaced (same inode)
#           none    no file exists afterwards
#           expect  the file equals DATADIR/expected/NAME.ini
#           any     not checked
# Standard output must equal DATADIR/expected/NAME.out (no such file: no output). A non-zero
# status must come with a message on standard error.
check() {
  name=$1 input=$2 status=$3 result=$4
  shift 4
  cases=$((cases + 1))
  file=$work/$name.ini
  inode=
  case $input in
    -) ;;
    dir) mkdir "$file" ;;
    *) cp "$data/$input" "$file" && inode=$(stat -c %i "$file") ;;
  esac
  "$tool" "$file" "$@" >"$work/$name.stdout" 2>"$work/$name.stderr"
  rc=$?
  [ "$rc" -eq "$status" ] || fail "exit status $rc, expected $status ($(cat "$work/$name.stderr"))"
  if [ "$status" -ne 0 ] && [ ! -s "$work/$name.stderr" ]; then fail "no message on stderr"; fi
  expected_out=$data/expected/$name.out
  [ -f "$expected_out" ] || expected_out=/dev/null
  if ! cmp -s "$expected_out" "$work/$name.stdout"; then
    fail "unexpected output"
    diff "$expected_out" "$work/$name.stdout" | sed 's/^/  /'
  fi
  case $result in
    same)
      cmp -s "$data/$input" "$file" || fail "the file changed"
      [ "$(stat -c %i "$file")" = "$inode" ] || fail "the file was rewritten"
      ;;
    none) [ ! -e "$file" ] || fail "a file was created" ;;
    expect)
      if ! cmp -s "$data/expected/$name.ini" "$file"; then
        fail "unexpected file content"
        od -c "$file" | sed 's/^/  /'
      fi
      ;;
    any) ;;
  esac
  leftovers=$(ls -A "$work" | grep dvtmp)
  [ -z "$leftovers" ] || fail "temporary files left: $leftovers"
}

CR=$(printf '\r')
LF='
'

# A missing file reads as empty; one write makes exactly three CR LF lines.
check missing_read_write - 0 expect read s k dflt -- write s k v -- modified
check missing_read_only - 0 none read s k dflt -- modified
# Reading leaves the file alone, empty lines, stray lines and duplicates included.
check untouched messy.ini 0 same read a x d -- sections -- values A -- contents -- modified
# The first of two equally named sections wins; a rewrite drops the second.
check dup_read dup.ini 0 same read A x d -- read a x d -- sections
check dup_change dup.ini 0 expect write other k v
# Blanks around "=" belong to the key and the value.
check spaces_around_equals values.ini 0 same read s key d -- read s "key " d
# An empty value is a value; as an integer it is the default.
check empty_value values.ini 0 same read s empty d -- readint s empty 42
check readint values.ini 0 same readint s hex1 -1 -- readint s hex2 -1 -- readint s hex3 -1 -- \
  readint s lead -1 -- readint s trail -1 -- readint s frac -1 -- readint s key -1
check readbool values.ini 0 same readbool s b1 0 -- readbool s b2 0 -- readbool s bm 0 -- \
  readbool s b0 1 -- readbool s bt 0 -- readbool s bt 1 -- readbool s empty 0 -- readbool s empty 1
# The same value again changes nothing; another letter case of the key does.
check same_value single.ini 0 same write s Key v -- modified
check case_change single.ini 0 expect write S KEY v -- modified -- read s key d
# A section emptied by deletes is not written.
check delete_last two.ini 0 expect delete s k -- has s -- modified
# A key containing "=" is never found, so every write appends.
check key_with_equals - 0 expect write s a=b 1 -- write s a=b 1 -- read s a=b d -- values s
# A header with a leading blank is an ordinary line, or dropped before the first section.
check header_leading_blank headers.ini 0 same sections -- values s -- has t -- has u
check header_rewrite headers.ini 0 expect write s n 1
# A LF on its own stays inside the line, also through a rewrite.
check lone_lf lf.ini 0 same read s k d -- values s
check lone_lf_rewrite lf.ini 0 expect write s n 1
# Deleting from a missing section adds it in memory only.
check delete_missing_section single.ini 0 same delete ghost k -- has ghost -- modified -- sections
# Ctrl-Z ends the file; CR alone ends a line.
check ctrlz ctrlz.ini 0 same values s
check cr_line_ends cr.ini 0 same values s
check cr_line_ends_rewrite cr.ini 0 expect write s c 3
check typed single.ini 0 expect writeint s n -5 -- writebool s b 1 -- readint s n 0 -- readbool s b 0 -- keys s
check erase two.ini 0 expect erase S -- has s -- has t
check dashes - 0 expect write s k -- -- read s k d
# A line break in a value is refused, and a failed run writes nothing at all.
check cr_refused single.ini 1 same write s k2 v -- write s k "a${CR}b"
check lf_refused single.ini 1 same write s k "a${LF}b"
check unreadable dir 1 any read s k d
# Usage errors touch nothing.
check usage_unknown single.ini 2 same frobnicate s
check usage_arity single.ini 2 same read s k
check usage_badint single.ini 2 same readint s k abc
check usage_badbool single.ini 2 same writebool s k yes
check usage_trailing single.ini 2 same read s k d --
check usage_separator single.ini 2 same read s k d has s
check usage_noop single.ini 2 same

echo "$cases cases, $failures failed"
[ "$failures" -eq 0 ]
