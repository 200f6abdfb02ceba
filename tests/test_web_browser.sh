#!/usr/bin/env bash
# The page in a real browser.  Headless Chromium loads it from `lifelog web`
# over the demo's day, and then as the file that `lifelog report --html`
# writes; the DOM it reports once the script ran must hold one timeline mark
# per row of the day and the day's top contact among the top contacts by
# calls.  A search the library refuses shows the library's text; a search
# with a quote in it is a pattern, not a refused condition.
#   test_web_browser.sh path/to/lifelog path/to/chromium
set -euo pipefail
tool=$1
chromium=$2
day=2024-06-14
work=$(mktemp -d)
server=""
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export ZBASE_ROOT=$work/root
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$tool" demo > "$work/demo.out"

# What the library says about the day, through the tool.
rows=0
for kind in call message media; do
  rows=$((rows + $("$tool" count $kind --from $day --to $day)))
done
top_json=$("$tool" top call number --from $day --to $day --limit 1 --json)
top=$(printf '%s' "$top_json" | sed -n 's/.*"value": "\([^"]*\)".*/\1/p')
top_count=$(printf '%s' "$top_json" | sed -n 's/.*"count": \([0-9]*\).*/\1/p')
long=$(printf 'x%.0s' $(seq 3000))
refusal=$("$tool" count call --where "CLOG_PHONE_NUMBER LIKE '%$long%'" 2>&1 | sed -n 's/.*: \([A-Za-z_0-9]* ([0-9]*)\)$/\1/p' || true)
[ "$rows" -gt 0 ] && [ -n "$top" ] && [ -n "$refusal" ] || { echo "no demo data: $rows $top $refusal"; exit 1; }

dump() {
  timeout 120 "$chromium" --headless --no-sandbox --disable-gpu --disable-dev-shm-usage \
    --no-first-run --user-data-dir="$work/profile" --window-size=1280,800 \
    --virtual-time-budget=3000 --dump-dom "$1" 2>>"$work/chromium.err"
}

check_day() {
  local what=$1 url=$2 dom marks list
  dom=$(dump "$url#view=day&date=$day")
  grep -q 'data-ready="true"' <<<"$dom" || fail "$what: the script did not finish drawing"
  marks=$(grep -o 'class="mark [a-z ]*"' <<<"$dom" | wc -l)
  [ "$marks" -eq "$rows" ] || fail "$what: $marks timeline marks for $rows rows of $day"
  list=$(grep -oP '<ol id="top-calls".*?</ol>' <<<"$dom" || true)
  grep -qF "$top" <<<"$list" || fail "$what: top contact $top missing from the top contacts by calls"
  first=$(grep -oP '<span class="count">\K[0-9]+' <<<"$list" | head -1)
  [ "$first" = "$top_count" ] || fail "$what: first top contact has $first calls, the library says $top_count"

  if [ "$what" = "lifelog web" ]; then  # the report has no library to refuse
    dom=$(dump "$url#view=day&date=$day&q=$long")
    grep -qF "The library refused the search: $refusal" <<<"$dom" ||
      fail "$what: a refused search does not show \"$refusal\""
  fi
  dom=$(dump "$url#view=day&date=$day&q=0'0")
  grep -q '<p id="status" role="alert" hidden' <<<"$dom" || fail "$what: a quote in the search was refused"
}

"$tool" web --port 0 > "$work/web.out" 2> "$work/web.err" &
server=$!
for _ in $(seq 600); do
  grep -q 'http://' "$work/web.out" 2>/dev/null && break
  sleep 0.1
done
url=$(grep -o 'http://[^ ]*' "$work/web.out")
check_day "lifelog web" "$url"
kill "$server"; wait "$server" || fail "lifelog web did not stop cleanly: $(cat "$work/web.err")"
server=""

"$tool" report --html "$work/report.html" > "$work/report.out"
check_day "report --html" "file://$work/report.html"

if [ "$failures" -ne 0 ]; then
  echo "--- chromium"; tail -20 "$work/chromium.err"
  exit 1
fi
echo "page in headless Chromium: $rows marks for $day, top contact $top ($top_count calls), refusal \"$refusal\" shown; served and as a report"
