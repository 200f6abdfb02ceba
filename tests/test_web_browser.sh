#!/usr/bin/env bash
# The page in a real browser.  Headless Chromium loads it from `lifelog web`
# over the demo's day, and then as the file that `lifelog report --html`
# writes; the DOM it reports once the script ran must hold one timeline mark
# per row of the day and the day's top contact among the top contacts by
# calls.  A search the library refuses shows the library's text; a search
# with a quote in it is a pattern, not a refused condition.  The year's
# calendar has a cell per day of 2024, the demo's day shaded and described
# with the library's counts; all years show one calendar per year from the
# demo's day to the year of its clock call; both show the weekday-by-hour
# grid.  Opened with no address, the page shows the demo's day.  The top
# contacts are people, named from the contacts store; the first one's link
# opens their view, with the library's count of their calls.
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
counts=()
for kind in call message media; do
  counts+=("$("$tool" count $kind --from $day --to $day)")
  rows=$((rows + counts[${#counts[@]} - 1]))
done
top_json=$("$tool" top call number --from $day --to $day --limit 1 --json)
top=$(printf '%s' "$top_json" | sed -n 's/.*"value": "\([^"]*\)".*/\1/p')
top_count=$(printf '%s' "$top_json" | sed -n 's/.*"count": \([0-9]*\).*/\1/p')
top_name=$("$tool" top call number --by person --from $day --to $day --limit 1 --json |
  sed -n 's/.*"person": "\([^"]*\)".*/\1/p')
top_calls=$("$tool" count call --search "$top_name")
long=$(printf 'x%.0s' $(seq 3000))
refusal=$("$tool" count call --where "CLOG_PHONE_NUMBER LIKE '%$long%'" 2>&1 | sed -n 's/.*: \([A-Za-z_0-9]* ([0-9]*)\)$/\1/p' || true)
last_year=$("$tool" list call --order time:desc --limit 1 --format json | sed -n 's/.*"CLOG_TIMESTAMP": "\([0-9]*\)-.*/\1/p')
[ "$rows" -gt 0 ] && [ -n "$top" ] && [ -n "$top_name" ] && [ -n "$last_year" ] && [ -n "$refusal" ] || { echo "no demo data: $rows $top $refusal"; exit 1; }

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
  check_person "$what" "$url" "$list"

  if [ "$what" = "lifelog web" ]; then  # the report has no library to refuse
    dom=$(dump "$url#view=day&date=$day&q=$long")
    grep -qF "The library refused the search: $refusal" <<<"$dom" ||
      fail "$what: a refused search does not show \"$refusal\""
  fi
  dom=$(dump "$url#view=day&date=$day&q=0'0")
  grep -q '<p id="status" role="alert" hidden' <<<"$dom" || fail "$what: a quote in the search was refused"
  check_years "$what" "$url"
}

# The first top contact is named and links to their view, which counts
# every call of their number.
check_person() {
  local what=$1 url=$2 list=$3 href dom
  grep -qF ">$top_name<" <<<"$list" || fail "$what: the top contact is not named $top_name"
  href=$(grep -oP '<a class="who" href="#\K[^"]*' <<<"$list" | head -1 | sed 's/&amp;/\&/g')
  dom=$(dump "$url#$href")
  grep -q 'data-ready="true"' <<<"$dom" || fail "$what: the person view was not drawn"
  grep -qF "<h2 id=\"person-title\">$top_name</h2>" <<<"$dom" || fail "$what: the person view is not $top_name's"
  grep -qF ">$top_calls calls (" <<<"$dom" || fail "$what: the person view does not count $top_calls calls"
  grep -q '<rect class="mark call"' <<<"$dom" || fail "$what: the person view has no calls per month"
}

# One calendar cell per day; the demo's day shaded, with its counts.
check_years() {
  local what=$1 url=$2 dom cell years expected
  dom=$(dump "$url#view=year&date=$day")
  grep -q 'data-ready="true"' <<<"$dom" || fail "$what: the year was not drawn"
  [ "$(grep -o 'class="cell l[0-4]"' <<<"$dom" | wc -l)" -eq 366 ] || fail "$what: 2024 has not 366 cells"
  cell=$(grep -oP '<rect class="cell l[1-4]"[^>]*data-day="'$day'"[^>]*>' <<<"$dom" || true)
  grep -qF "${counts[0]} calls, ${counts[1]} messages, ${counts[2]} media plays" <<<"$cell" ||
    fail "$what: the year's cell of $day is not shaded with ${counts[*]}: $cell"
  [ "$(grep -oE '<rect class="hour( none)?"' <<<"$dom" | wc -l)" -eq 168 ] || fail "$what: no weekday-by-hour grid"
  grep -q 'Busiest hour: Fri ' <<<"$dom" || fail "$what: the busiest hour is not on the demo's Friday"

  dom=$(dump "$url#view=all&date=$day")
  years=$(grep -oP 'class="year-label"[^>]*>\K[0-9]+' <<<"$dom" | tr '\n' ' ')
  expected=$(seq -s ' ' "$last_year" -1 2024)
  [ "$years" = "$expected " ] || fail "$what: all years shows \"$years\", not $expected"
  grep -qP '<rect class="cell l[1-4]"[^>]*data-day="'$day'"' <<<"$dom" || fail "$what: all years: $day not shaded"

  if [ "$what" = "lifelog web" ]; then  # the address names no day: the latest full one
    dom=$(dump "$url")
    grep -q '<span id="range" aria-live="polite">Fri 14 Jun 2024</span>' <<<"$dom" ||
      fail "$what: opened on $(grep -oP '<span id="range"[^>]*>\K[^<]*' <<<"$dom") instead of the demo's day"
  fi
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
echo "page in headless Chromium: $rows marks for $day, top contact $top_name $top ($top_count calls), refusal \"$refusal\" shown; served and as a report"
