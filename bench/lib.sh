# Sourced by the benchmark scripts: timing, best-of and ratio helpers.

# timed VAR command...: runs the command after a sync; stores its wall seconds in VAR and its peak
# resident memory (KiB) in VAR_kb.
timed() {
  local var=$1
  shift
  sync
  local report
  report=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$report" "$@" >/dev/null
  local seconds kb
  read -r seconds kb < "$report"
  rm -f "$report"
  printf -v "$var" '%.2f' "$seconds"
  printf -v "${var}_kb" '%s' "$kb"
}

ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }

best() {  # best VAR SECONDS: keeps the smaller of VAR's value and SECONDS
  local cur=${!1:-}
  if [ -z "$cur" ] || awk "BEGIN { exit !($2 < $cur) }"; then printf -v "$1" '%s' "$2"; fi
}

most() {  # most VAR VALUE: keeps the larger
  local cur=${!1:-}
  if [ -z "$cur" ] || awk "BEGIN { exit !($2 > $cur) }"; then printf -v "$1" '%s' "$2"; fi
}
