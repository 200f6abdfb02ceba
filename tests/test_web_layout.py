#!/usr/bin/env python3
"""The page's layout as a person sees it, in headless Chromium at desktop
and phone width, measured from the drawn page itself.

    test_web_layout.py path/to/lifelog path/to/chromium

Over `lifelog demo` plus 250 messages a minute apart on a day of their own:
no two timeline marks of the demo's day cover one another; a lane's name
ends before its lane begins; the list under the timeline holds every row of
the day with directions in words, Enter on a mark focuses its line, and the
busy day's list is paged; the week's talk time has a labelled column per day
of that week; and at phone width the header keeps to two lines, nothing is
wider than the screen and the day strip cuts no day at its edges.
"""
import os
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'scripts'))
from devtools import DevTools  # noqa: E402

DAY = '2024-06-14'
BUSY = '2024-06-20'
READY = "document.body && document.body.dataset.ready === 'true'"

# Geometry of the drawn page, measured in the browser.
MEASURE = """(() => {
  const box = (e) => e.getBoundingClientRect();
  const marks = [...document.querySelectorAll('#timeline .mark')].map(box);
  let covered = 0;
  for (let i = 0; i < marks.length; i++) for (let j = i + 1; j < marks.length; j++) {
    const a = marks[i], b = marks[j];
    if (a.left < b.right - 0.5 && b.left < a.right - 0.5 && a.top < b.bottom - 0.5 && b.top < a.bottom - 0.5) covered++;
  }
  const laneStart = Math.min(...[...document.querySelectorAll('#timeline .lane')].map((e) => box(e).left));
  const nameEnd = Math.max(...[...document.querySelectorAll('#timeline .lane-name')].map((e) => box(e).right));
  const strip = box(document.getElementById('days'));
  const cut = [...document.querySelectorAll('#days .day')].map(box)
    .filter((d) => d.right > strip.left + 1 && d.left < strip.right - 1)
    .filter((d) => d.left < strip.left - 1 || d.right > strip.right + 1).length;
  const lines = [...document.querySelectorAll('#rows tbody tr')];
  return {
    marks: marks.length, covered, nameEnd, laneStart, cut,
    rows: lines.length, directions: lines.map((tr) => tr.children[3].textContent),
    caption: (document.querySelector('#rows caption') || {}).textContent || '',
    header: box(document.querySelector('header.bar')).height,
    lineHeight: box(document.getElementById('previous')).height,
    tooWide: document.documentElement.scrollWidth - window.innerWidth,
    talk: [...document.querySelectorAll('#talk .col .label')].map((e) => e.textContent),
    talkTitle: document.getElementById('talk-title').textContent,
  };
})()"""


def make_root(tool, root):
    env = dict(os.environ, ZBASE_ROOT=root)
    subprocess.run([tool, 'demo'], env=env, check=True, stdout=subprocess.DEVNULL)
    db = sqlite3.connect(os.path.join(root, 'SystemRW/Lifelog/Database/lifelog.db'))
    db.executemany(
        'INSERT INTO ACTIVITY_MESSAGE (MSGLOG_DIRECTION, MSGLOG_SUMMARY, MSGLOG_TYPE, '
        'MSGLOG_PHONE_NUMBER, MSGLOG_TIMESTAMP) VALUES (?, ?, 1, ?, ?)',
        [(j % 2, f'Message {j}', f'+1555010{j % 9}', f'{BUSY} {8 + j // 60:02}:{j % 60:02}:00')
         for j in range(250)])
    db.commit()
    db.close()
    return env


def count_rows(tool, env, day):
    return sum(int(subprocess.run([tool, 'count', kind, '--from', day, '--to', day], env=env,
                                  check=True, capture_output=True, text=True).stdout)
               for kind in ('call', 'message', 'media'))


class Page:
    def __init__(self, chromium, profile, url):
        self.tools = DevTools(chromium, profile)
        self.url = url
        self.tools.open('about:blank')

    def show(self, width, address):
        self.tools.call('Emulation.setDeviceMetricsOverride', width=width, height=900,
                        deviceScaleFactor=1, mobile=width < 600)
        self.tools.call('Page.navigate', url='about:blank')
        self.tools.wait_for("location.href === 'about:blank'")
        self.tools.call('Page.navigate', url=f'{self.url}#{address}')
        self.tools.wait_for(READY)
        return self.tools.evaluate(MEASURE)


def check_day(page, width, rows, failures):
    seen = page.show(width, f'view=day&date={DAY}')
    what = f'{width} px'
    if seen['marks'] != rows or seen['covered']:
        failures.append(f"{what}: {seen['marks']} marks for {rows} rows, {seen['covered']} pairs covering each other")
    if seen['nameEnd'] > seen['laneStart']:
        failures.append(f"{what}: a lane's name ends at {seen['nameEnd']:.0f}, its lane begins at {seen['laneStart']:.0f}")
    if seen['rows'] != rows or not {'missed', 'received', 'sent'} <= set(seen['directions']):
        failures.append(f"{what}: the list has {seen['rows']} lines for {rows} rows: {set(seen['directions'])}")
    if seen['cut'] or seen['tooWide'] > 0:
        failures.append(f"{what}: {seen['cut']} days cut at the strip's edge, page {seen['tooWide']} px too wide")
    if width < 600 and seen['header'] > 3 * seen['lineHeight'] + 30:
        failures.append(f"{what}: the header is {seen['header']:.0f} px high, more than two lines of buttons")


def check_rows_and_week(page, busy_rows, failures):
    page.show(1280, f'view=day&date={DAY}')
    focused = page.tools.evaluate("""(() => {
      const mark = document.querySelector('#timeline .mark.message');
      mark.focus();
      mark.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true }));
      const line = document.activeElement;
      return [mark.dataset.key, line.tagName, line.dataset.key, line.dataset.kind];
    })()""")
    if focused[1:] != ['TR', focused[0], 'message']:
        failures.append(f'Enter on message mark {focused[0]} focused {focused[1:]}, not its line')
    seen = page.show(1280, f'view=day&date={BUSY}')
    if seen['rows'] != 100 or seen['caption'] != f'Rows 1–100 of {busy_rows}':
        failures.append(f"busy day: {seen['rows']} lines, caption \"{seen['caption']}\"")
    caption = page.tools.evaluate("""(() => {
      document.querySelector('#rows .pager button:last-child').click();
      return document.querySelector('#rows caption').textContent;
    })()""")
    if caption != f'Rows 101–200 of {busy_rows}':
        failures.append(f'the second page says "{caption}"')
    seen = page.show(1280, f'view=week&date={DAY}')
    if seen['talk'] != ['Mo 10', 'Tu 11', 'We 12', 'Th 13', 'Fr 14', 'Sa 15', 'Su 16'] or \
            'Mon 10 Jun – Sun 16 Jun 2024' not in seen['talkTitle']:
        failures.append(f"week's talk time: {seen['talk']} \"{seen['talkTitle']}\"")


def main():
    tool, chromium = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        env = make_root(tool, os.path.join(work, 'root'))
        rows, busy_rows = count_rows(tool, env, DAY), count_rows(tool, env, BUSY)
        with open(os.path.join(work, 'web.out'), 'w') as out:
            server = subprocess.Popen([tool, 'web', '--port', '0'], env=env, stdout=out,
                                      stderr=subprocess.DEVNULL)
        try:
            url = wait_for_address(os.path.join(work, 'web.out'))
            page = Page(chromium, os.path.join(work, 'profile'), url)
            try:
                for width in (1280, 390):
                    check_day(page, width, rows, failures)
                check_rows_and_week(page, busy_rows, failures)
            finally:
                page.tools.close()
        finally:
            server.terminate()
            server.wait()
    for failure in failures:
        print('FAIL:', failure)
    if not failures:
        print(f'page layout: {rows} distinct marks and lines at 1280 and 390 px, {busy_rows} rows paged, the week labelled')
    return 1 if failures else 0


def wait_for_address(path):
    for _ in range(600):
        with open(path) as out:
            for word in out.read().split():
                if word.startswith('http://'):
                    return word
        time.sleep(0.1)
    raise RuntimeError('lifelog web printed no address')


if __name__ == '__main__':
    sys.exit(main())
