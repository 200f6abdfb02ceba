// The lifelog page: one day, week or month of the life log as a timeline
// with a lane per kind, activity per day, top contacts and talk time; a
// year as a calendar of days; all the years one under another; and when in
// the day and week things happen.
// Served by `lifelog web`, it asks the JSON API; written by `lifelog report
// --html`, it reads the rows that travel with it (#lifelog-data) and asks
// nothing.  Time stamps are wall-clock texts and are handled as UTC
// throughout, so that no time zone of the viewer moves a row.
'use strict';

(function () {
  const KINDS = [
    { kind: 'call', lane: 'Calls', number: 'CLOG_PHONE_NUMBER', name: 'CLOG_NAME' },
    { kind: 'message', lane: 'Messages', number: 'MSGLOG_PHONE_NUMBER', name: 'MSGLOG_NAME' },
    { kind: 'media', lane: 'Media', number: null, name: null },
  ];
  const DAY = 86400000;
  const WEEKDAYS = ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'];
  const MONTHS = ['January', 'February', 'March', 'April', 'May', 'June', 'July', 'August',
    'September', 'October', 'November', 'December'];
  const SVG = 'http://www.w3.org/2000/svg';
  const $ = (id) => document.getElementById(id);
  const dataElement = document.getElementById('lifelog-data');
  const embedded = dataElement ? JSON.parse(dataElement.textContent) : null;

  // ------------------------------------------------------------ dates

  const dayOf = (text) => Date.UTC(+text.slice(0, 4), +text.slice(5, 7) - 1, +text.slice(8, 10));
  const dayText = (ms) => new Date(ms).toISOString().slice(0, 10);
  const rowTime = (row) => Date.parse(row.time + 'Z');
  const month = (d) => MONTHS[d.getUTCMonth()].slice(0, 3);
  function dayLabel(ms) {
    const d = new Date(ms);
    return `${WEEKDAYS[d.getUTCDay()]} ${d.getUTCDate()} ${month(d)}`;
  }
  function clock(seconds) {
    seconds = Math.max(0, Math.round(seconds));
    const h = Math.floor(seconds / 3600);
    const m = Math.floor(seconds / 60) % 60;
    const s = String(seconds % 60).padStart(2, '0');
    return h > 0 ? `${h}:${String(m).padStart(2, '0')}:${s}` : `${m}:${s}`;
  }
  const plural = (n, one, many) => `${n} ${n === 1 ? one : many}`;

  // [from, to) of the view around a day: the day, its week from Monday, its
  // month, its year; the view of all years has no range (null).
  function rangeOf(view, anchor) {
    if (view === 'all') return null;
    if (view === 'year') {
      const year = new Date(anchor).getUTCFullYear();
      return { from: Date.UTC(year, 0, 1), to: Date.UTC(year + 1, 0, 1) };
    }
    if (view === 'week') {
      const monday = anchor - ((new Date(anchor).getUTCDay() + 6) % 7) * DAY;
      return { from: monday, to: monday + 7 * DAY };
    }
    if (view === 'month') {
      const d = new Date(anchor);
      return {
        from: Date.UTC(d.getUTCFullYear(), d.getUTCMonth(), 1),
        to: Date.UTC(d.getUTCFullYear(), d.getUTCMonth() + 1, 1),
      };
    }
    return { from: anchor, to: anchor + DAY };
  }
  // The days of the strip and the talk-time chart: the month, or the four
  // weeks that end with the range.
  const stripOf = (range) => ({ from: Math.min(range.from, range.to - 28 * DAY), to: range.to });

  function rangeText(view, range) {
    if (view === 'all') return 'All years';
    const first = new Date(range.from);
    if (view === 'year') return `${first.getUTCFullYear()}`;
    const last = new Date(range.to - DAY);
    if (view === 'day') return `${dayLabel(range.from)} ${first.getUTCFullYear()}`;
    if (view === 'month') return `${MONTHS[first.getUTCMonth()]} ${first.getUTCFullYear()}`;
    return `${dayLabel(range.from)} – ${dayLabel(range.to - DAY)} ${last.getUTCFullYear()}`;
  }

  // ------------------------------------------------------------ sources

  class Refusal extends Error {
    constructor(body, status) {
      super(body && body.error ? body.error : `HTTP ${status}`);
      this.body = body || {};
      this.status = status;
    }
  }

  async function api(path, params) {
    const query = new URLSearchParams(params).toString();
    const response = await fetch(`/api/${path}?${query}`);
    let body = null;
    try {
      body = await response.json();
    } catch (e) {
      body = { error: `${response.status} ${response.statusText}` };
    }
    if (!response.ok) throw new Refusal(body, response.status);
    return body;
  }

  const bounds = (range) => ({ from: dayText(range.from), to: dayText(range.to - DAY) });

  // Activity per day as the page uses it: day text -> { count, seconds }.
  function dayTable(body) {
    return {
      days: new Map(body.days.map((d) => [d.day, d])),
      hours: body.hours, first: body.first, last: body.last,
      count: body.count, seconds: body.seconds || 0,
    };
  }

  const serverSource = {
    async rows(kind, range, search) {
      const params = { ...bounds(range), order: 'time' };
      if (search) params.search = search;
      return (await api(kind.kind, params)).rows;
    },
    async top(kind, range, search, n) {
      const params = { column: kind.number, n, by: 'person', ...bounds(range) };
      if (search) params.search = search;
      return (await api(`${kind.kind}/top`, params)).values;
    },
    async person(key) {
      return api(`people/${encodeURIComponent(key)}`, {});
    },
    // One request per kind for any range, or the whole history (null).
    async days(kind, range, search) {
      const params = range ? bounds(range) : {};
      if (search && kind.number && NUMBER_LIKE.test(search)) params.contains = search;
      return dayTable(await api(`${kind.kind}/days`, params));
    },
    async latest() {
      const times = await Promise.all(KINDS.map((kind) =>
        api(`${kind.kind}/max`, { column: 'time' }).then(
          (body) => (body.rows.length ? body.rows[0].time : null),
          (refusal) => { if (refusal.status !== 404) throw refusal; return null; })));
      return times.filter(Boolean).sort().pop() || null;
    },
    async about() {
      const config = await api('config', {});
      return `Live from ${config.database}`;
    },
  };

  const localSource = {
    async rows(kind, range, search) {
      const matches = search ? localMatcher(kind, search) : null;
      return (embedded.rows[kind.kind] || []).filter((row) => {
        const t = rowTime(row);
        return t >= range.from && t < range.to && (!matches || matches(row));
      });
    },
    async top(kind, range, search, n) {
      const counts = new Map();
      for (const row of await this.rows(kind, range, search)) {
        const key = row.CONTACT_KEY || row[kind.number];
        const entry = counts.get(key) || { key, name: row.CONTACT_NAME || null, value: row.CONTACT_NAME || row[kind.number], numbers: [], count: 0 };
        entry.count += 1;
        if (!entry.numbers.includes(row[kind.number])) entry.numbers.push(row[kind.number]);
        counts.set(key, entry);
      }
      // The most frequent first, ties by key, as the tool orders them.
      return [...counts.values()]
        .sort((a, b) => b.count - a.count || (a.key < b.key ? -1 : a.key > b.key ? 1 : 0))
        .slice(0, n);
    },
    async person(key) {
      return personOfRows(key, embedded.rows);
    },
    async days(kind, range, search) {
      const all = embedded.rows[kind.kind] || [];
      const rows = range ? await this.rows(kind, range, search)
        : all.filter(search ? localMatcher(kind, search) : () => true);
      const days = new Map();
      const hours = WEEKDAYS.map(() => new Array(24).fill(0));
      let seconds = 0;
      for (const row of rows) {
        const day = days.get(row.time.slice(0, 10)) || { day: row.time.slice(0, 10), count: 0, seconds: 0 };
        day.count += 1;
        day.seconds += row.CLOG_DURATION || 0;
        seconds += row.CLOG_DURATION || 0;
        days.set(day.day, day);
        hours[new Date(rowTime(row)).getUTCDay()][+row.time.slice(11, 13)] += 1;
      }
      const times = all.map((row) => row.time).sort();
      return { days, hours, first: times[0] || null, last: times.pop() || null, count: rows.length, seconds };
    },
    async latest() {
      const times = KINDS.flatMap((kind) => (embedded.rows[kind.kind] || []).map((r) => r.time));
      return times.sort().pop() || null;
    },
    async about() {
      const r = embedded.report;
      return `Report of ${r.database}, ${r.from} to ${r.to}, written ${r.written}`;
    },
  };

  const source = embedded ? localSource : serverSource;

  // The search travels as one parameter; the tool makes every number and
  // the pattern one SQL string literal each.  A search that is only digits
  // and number punctuation also narrows the day strips, which match numbers
  // as written.
  const NUMBER_LIKE = /^[0-9+()\-. ]+$/;

  // The report's search: the name, the number's digits, a message's words.
  function localMatcher(kind, search) {
    const text = search.toLowerCase();
    const digits = search.replace(/[^0-9]/g, '');
    return (row) => {
      if (!kind.number) return (row.MDLOG_TITLE || '').toLowerCase().includes(text);
      const number = (row[kind.number] || '').replace(/[^0-9]/g, '');
      return (row.CONTACT_NAME || '').toLowerCase().includes(text) ||
        (digits.length >= 4 && number.includes(digits)) ||
        (row.MSGLOG_SUMMARY || '').toLowerCase().includes(text);
    };
  }

  // A person's activity from the report's rows, in the shape of /api/people/ID.
  function personOfRows(key, rowsByKind) {
    const activity = (kind, rows) => {
      const mine = (rows || []).filter((row) => (row.CONTACT_KEY || row[kind.number]) === key);
      const days = new Map();
      const numbers = new Map();
      for (const row of mine) {
        const day = days.get(row.time.slice(0, 10)) || { day: row.time.slice(0, 10), count: 0, seconds: 0 };
        day.count += 1;
        day.seconds += row.CLOG_DURATION || 0;
        days.set(day.day, day);
        numbers.set(row[kind.number], (numbers.get(row[kind.number]) || 0) + 1);
      }
      const times = mine.map((row) => row.time.replace('T', ' ')).sort();
      return {
        count: mine.length, seconds: mine.reduce((sum, row) => sum + (row.CLOG_DURATION || 0), 0),
        first: times[0] || null, last: times.pop() || null,
        numbers: [...numbers].map(([number, count]) => ({ number, count })),
        days: [...days.values()].sort((a, b) => (a.day < b.day ? -1 : 1)),
      };
    };
    const named = KINDS.flatMap((kind) => rowsByKind[kind.kind] || []).find((row) => row.CONTACT_KEY === key);
    return {
      key, name: named ? named.CONTACT_NAME : null,
      calls: activity(KINDS[0], rowsByKind.call), messages: activity(KINDS[1], rowsByKind.message),
    };
  }

  // ------------------------------------------------------------ rows

  const DIRECTIONS = {
    call: ['incoming', 'outgoing', 'missed'],
    message: ['received', 'sent'],
  };
  function who(kind, row) {
    if (!kind.number) return row.MDLOG_TITLE || '(untitled)';
    const number = row[kind.number] || '(no number)';
    return row.CONTACT_NAME ? `${row.CONTACT_NAME} ${number}` : number;
  }
  function directionWord(kind, row) {
    const direction = row.CLOG_DIRECTION ?? row.MSGLOG_DIRECTION;
    if (direction == null || !DIRECTIONS[kind.kind]) return '';
    return DIRECTIONS[kind.kind][direction] || `direction ${direction}`;
  }
  // What a row says beyond its time, kind, party and direction.
  function detailOf(row) {
    const parts = [];
    if (row.CLOG_DURATION != null) parts.push(clock(row.CLOG_DURATION));
    if (row.MDLOG_PLAY_TIME != null) parts.push(`played ${clock(row.MDLOG_PLAY_TIME)}`);
    if (row.MDLOG_ARTIST) parts.push(row.MDLOG_ARTIST);
    if (row.MSGLOG_SUMMARY) parts.push(`“${row.MSGLOG_SUMMARY}”`);
    return parts.join(' · ');
  }
  function describe(kind, row) {
    return [row.time.replace('T', ' '), kind.kind, who(kind, row), directionWord(kind, row), detailOf(row)]
      .filter(Boolean).join(' · ');
  }
  const seconds = (row) => row.CLOG_DURATION ?? row.MDLOG_PLAY_TIME ?? 0;
  const byTime = (a, b) => (a.time < b.time ? -1 : a.time > b.time ? 1 : 0);
  const isMissed = (kind, row) => kind.kind === 'call' && row.CLOG_DIRECTION === 2;

  // ------------------------------------------------------------ drawing

  function svg(name, attributes, parent) {
    const node = document.createElementNS(SVG, name);
    for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
    if (parent) parent.appendChild(node);
    return node;
  }
  function html(name, attributes, text) {
    const node = document.createElement(name);
    for (const [key, value] of Object.entries(attributes || {})) node.setAttribute(key, value);
    if (text != null) node.textContent = text;
    return node;
  }

  // Where the axis is labelled: every few hours of a day, every day of a
  // week, every few days of a month.
  function ticks(view, range, narrow) {
    const out = [];
    if (view === 'day') {
      const step = narrow ? 6 : 3;
      for (let h = 0; h <= 24; h += step) {
        out.push({ at: range.from + h * 3600000, label: `${String(h).padStart(2, '0')}:00` });
      }
    } else {
      const every = view === 'week' ? 1 : narrow ? 7 : 3;
      for (let d = range.from, i = 0; d < range.to; d += DAY, i++) {
        const date = new Date(d);
        const label = view === 'week' ? (narrow ? `${WEEKDAYS[date.getUTCDay()].slice(0, 2)} ${date.getUTCDate()}` : dayLabel(d)) : `${date.getUTCDate()}`;
        out.push({ at: d, label: i % every === 0 ? label : '' });
      }
    }
    return out;
  }

  const marked = new WeakMap();

  function drawTimeline(view, range, rowsByKind) {
    const box = $('timeline');
    box.textContent = '';
    const width = Math.max(280, box.clientWidth || 960);
    const narrow = width < 600;
    const left = narrow ? 76 : 86;
    const right = 14;
    const lane = 44;
    const top = 22;
    const height = top + lane * KINDS.length + 2;
    const span = range.to - range.from;
    const x = (ms) => left + ((ms - range.from) / span) * (width - left - right);
    const chart = svg('svg', {
      width, height, viewBox: `0 0 ${width} ${height}`, role: 'group',
      'aria-label': `Timeline, ${rangeText(view, range)}`,
    }, box);
    for (const tick of ticks(view, range, narrow)) {
      svg('line', { class: 'tick', x1: x(tick.at), x2: x(tick.at), y1: top - 4, y2: height }, chart);
      if (tick.label) {
        // The last label ends at its tick, so that the edge does not cut it.
        const anchor = tick.at >= range.to ? 'end' : 'middle';
        const label = svg('text', { class: 'axis', x: x(tick.at), y: top - 8, 'text-anchor': anchor }, chart);
        label.textContent = tick.label;
      }
    }
    const at = (ms) => x(Math.min(range.to, ms));
    const pending = [];
    KINDS.forEach((kind, i) => {
      const y = top + i * lane;
      svg('rect', { class: `lane ${kind.kind}`, x: left, y: y + 2, width: width - left - right, height: lane - 4 }, chart);
      const rows = rowsByKind[i].filter((r) => rowTime(r) >= range.from && rowTime(r) < range.to).sort(byTime);
      laneName(chart, `${kind.lane}`, rows.length, y + lane / 2, narrow);
      const { track, tracks } = stackMarks(rows, at);
      const height = (lane - 16) / tracks;
      rows.forEach((row, j) => pending.push({
        kind, row, y: y + 8 + track[j] * height, height: tracks > 1 ? height - 1 : height,
      }));
    });
    watchMarks(chart);
    return drawMarks(chart, pending, at);
  }

  // A lane's name and count, on two lines where the window is narrow, so
  // that they end before the lane's first mark can begin.
  function laneName(chart, name, count, middle, narrow) {
    const text = svg('text', { class: 'lane-name', x: 4, y: narrow ? middle - 2 : middle + 4 }, chart);
    if (!narrow) {
      text.textContent = `${name} ${count}`;
      return;
    }
    svg('tspan', { x: 4 }, text).textContent = name;
    svg('tspan', { x: 4, dy: '1.1em', class: 'lane-count' }, text).textContent = count;
  }

  // Where a row's mark lies: from its start for its duration, 3 px at least.
  function markSpan(row, at) {
    const x0 = at(rowTime(row));
    return { left: x0 - 1, width: Math.max(3, at(rowTime(row) + seconds(row) * 1000) - x0) };
  }

  // Marks that would touch go on separate tracks of their lane, at most
  // four, so that rows minutes apart stay apart instead of hiding one
  // another.  The rows come in time order.
  function stackMarks(rows, at) {
    const ends = [];
    const track = rows.map((row) => {
      const { left, width } = markSpan(row, at);
      let t = ends.findIndex((end) => end + 1 <= left);
      if (t < 0) t = ends.length < 4 ? ends.length : ends.indexOf(Math.min(...ends));
      ends[t] = left + width;
      return t;
    });
    return { track, tracks: Math.max(1, ends.length) };
  }

  // A mark pointed at or focused says its row; Enter or a click shows it
  // in the list of rows.
  function watchMarks(chart) {
    const show = (event) => {
      const hit = marked.get(event.target);
      if (hit) $('detail').textContent = describe(hit.kind, hit.row);
    };
    const reveal = (event) => {
      const hit = marked.get(event.target);
      if (!hit || (event.type === 'keydown' && event.key !== 'Enter')) return;
      event.preventDefault();
      revealRow(hit.kind, hit.row);
    };
    chart.addEventListener('focusin', show);
    chart.addEventListener('mouseover', show);
    chart.addEventListener('click', reveal);
    chart.addEventListener('keydown', reveal);
  }

  // The marks go in a few hundred at a time, the page answering between
  // them, so that a month of ten thousand rows does not freeze it; a newer
  // drawing stops an older one.
  let drawing = 0;
  async function drawMarks(chart, pending, x) {
    const mine = ++drawing;
    for (let at = 0; at < pending.length; at += 500) {
      if (at > 0) await new Promise((resolve) => setTimeout(resolve, 0));
      if (mine !== drawing) return;
      const part = document.createDocumentFragment();
      for (const { kind, row, y, height } of pending.slice(at, at + 500)) {
        const { left, width } = markSpan(row, x);
        const text = describe(kind, row);
        const mark = svg('rect', {
          class: `mark ${kind.kind}${isMissed(kind, row) ? ' missed' : ''}`,
          x: left, y, width, height, rx: 1.5,
          tabindex: 0, 'data-key': row.LOG_KEY, 'aria-label': text,
        }, part);
        svg('title', {}, mark).textContent = text;
        marked.set(mark, { kind, row });
      }
      chart.appendChild(part);
    }
  }

  // ------------------------------------------------------------ the rows

  // The range's rows, all kinds in time order, a hundred to a page.
  const PAGE = 100;
  const listed = { rows: [], page: 0, day: true };

  function drawRows(view, range, rowsByKind) {
    listed.rows = rowsByKind.flatMap((rows, i) => rows.map((row) => ({ kind: KINDS[i], row, time: row.time })))
      .filter(({ row }) => rowTime(row) >= range.from && rowTime(row) < range.to)
      .sort(byTime);
    listed.page = 0;
    listed.day = view === 'day';
    drawRowPage();
  }

  function drawRowPage() {
    const box = $('rows');
    box.textContent = '';
    const first = listed.page * PAGE;
    const page = listed.rows.slice(first, first + PAGE);
    if (!page.length) {
      box.appendChild(html('p', { class: 'none' }, 'No rows in this range'));
      return;
    }
    const table = html('table', {});
    table.appendChild(html('caption', {}, `Rows ${first + 1}–${first + page.length} of ${listed.rows.length}`));
    const head = table.appendChild(html('thead', {})).appendChild(html('tr', {}));
    for (const name of ['Time', 'Kind', 'Who', 'Direction', 'Detail']) head.appendChild(html('th', { scope: 'col' }, name));
    const body = table.appendChild(html('tbody', {}));
    for (const { kind, row } of page) body.appendChild(rowLine(kind, row));
    const scroller = html('div', { class: 'scroller', tabindex: 0, role: 'region', 'aria-label': 'Rows of the range' });
    scroller.appendChild(table);
    box.append(scroller);
    if (listed.rows.length > PAGE) box.append(pager());
  }

  function rowLine(kind, row) {
    const line = html('tr', { 'data-kind': kind.kind, 'data-key': row.LOG_KEY, tabindex: -1 });
    line.append(html('td', { class: 'time' }, listed.day ? row.time.slice(11) : row.time.replace('T', ' ')),
      html('td', { class: `kind ${kind.kind}` }, kind.kind),
      html('td', { class: 'who' }, who(kind, row)),
      html('td', isMissed(kind, row) ? { class: 'missed' } : {}, directionWord(kind, row)),
      html('td', { class: 'what' }, detailOf(row)));
    return line;
  }

  function pager() {
    const pages = Math.ceil(listed.rows.length / PAGE);
    const nav = html('div', { class: 'pager', role: 'group', 'aria-label': 'Pages of rows' });
    const turn = (label, page) => {
      const button = html('button', { type: 'button' }, label);
      button.disabled = page < 0 || page >= pages;
      button.addEventListener('click', () => { listed.page = page; drawRowPage(); });
      return button;
    };
    nav.append(turn('‹ Earlier', listed.page - 1), html('span', {}, `Page ${listed.page + 1} of ${pages}`),
      turn('Later ›', listed.page + 1));
    return nav;
  }

  // The list's line of a row, on its page, focused.
  function revealRow(kind, row) {
    const at = listed.rows.findIndex((entry) => entry.kind === kind && entry.row === row);
    if (at < 0) return;
    listed.page = Math.floor(at / PAGE);
    drawRowPage();
    const line = $('rows').querySelector(`tr[data-kind="${kind.kind}"][data-key="${row.LOG_KEY}"]`);
    if (line) {
      line.focus();
      line.scrollIntoView({ block: 'nearest' });
    }
  }

  // Up and down move between the lines of the list.
  function moveInRows(event) {
    const line = event.target.closest && event.target.closest('tr[data-key]');
    const steps = { ArrowDown: 'nextElementSibling', ArrowUp: 'previousElementSibling' };
    if (!steps[event.key]) return;
    const next = line ? line[steps[event.key]] : $('rows').querySelector('tbody tr');
    if (next) next.focus();
    event.preventDefault();
  }

  // What each kind did on a day, from the kinds' day tables.
  function dayCounts(tables, text) {
    return tables.map((table) => (table.days.get(text) || { count: 0 }).count);
  }
  function dayDescription(ms, counts) {
    return `${dayLabel(ms)} ${new Date(ms).getUTCFullYear()}: ${plural(counts[0], 'call', 'calls')}, ` +
      `${plural(counts[1], 'message', 'messages')}, ${plural(counts[2], 'media play', 'media plays')}`;
  }

  function drawDays(range, strip, tables) {
    const box = $('days');
    box.textContent = '';
    const counts = [];
    for (let d = strip.from; d < strip.to; d += DAY) counts.push(dayCounts(tables, dayText(d)));
    const totals = counts.map((c) => c[0] + c[1] + c[2]);
    const most = Math.max(1, ...totals);
    totals.forEach((total, i) => {
      const day = strip.from + i * DAY;
      const date = new Date(day);
      const button = html('button', {
        type: 'button', class: 'day', 'data-day': dayText(day),
        'aria-label': dayDescription(day, counts[i]),
        title: `${dayLabel(day)}: ${total}`,
        style: `--level:${(total / most).toFixed(3)}`,
      });
      if (day >= range.from && day < range.to) button.setAttribute('aria-current', 'date');
      button.append(html('span', { class: 'dow' }, WEEKDAYS[date.getUTCDay()].slice(0, 2)),
        html('span', { class: 'dom' }, date.getUTCDate()),
        html('span', { class: 'count' }, total || ''));
      button.addEventListener('click', () => go({ view: 'day', anchor: day }));
      box.appendChild(button);
    });
    keepStripEndInSight();
  }

  // The chosen range ends the strip; a narrower window must not hide it.
  // Where the days do not all fit, as many whole days as fit share the
  // width, so that scrolled to its end the strip cuts no day at its edge.
  function keepStripEndInSight() {
    const box = $('days');
    const smallest = 1.8 * parseFloat(getComputedStyle(document.documentElement).fontSize) + 3;
    const fit = Math.max(1, Math.floor((box.clientWidth + 3) / smallest));
    box.style.setProperty('--fit', String(fit));
    box.classList.toggle('fitted', fit < box.children.length);
    box.scrollLeft = box.scrollWidth;
  }

  function drawTop(listId, kind, values, noun) {
    const list = $(listId);
    list.textContent = '';
    if (!values.length) {
      list.appendChild(html('li', { class: 'none' }, `No ${noun} in this range`));
      return;
    }
    const most = Math.max(...values.map((v) => v.count));
    for (const { key, name, numbers, value, count } of values) {
      const item = html('li', {});
      const label = html('a', { class: 'who', href: `#${personHash(key || value)}` }, name || value || '(no number)');
      const shownNumbers = numbers || [value];
      if (name) label.appendChild(html('small', {}, ` ${shownNumbers.join(', ')}`));
      const bar = html('span', { class: `bar ${kind.kind}`, style: `width:${(100 * count / most).toFixed(1)}%` });
      item.append(label, html('span', { class: 'track' }), html('span', { class: 'count' }, count));
      item.querySelector('.track').appendChild(bar);
      list.appendChild(item);
    }
  }

  // Talk time per day of the week or month shown, or of the seven days
  // that end with the day shown; each column labelled with its day.
  function drawTalk(view, range, calls) {
    const box = $('talk');
    box.textContent = '';
    const shown = view === 'day' ? { from: range.to - 7 * DAY, to: range.to } : range;
    const days = [];
    for (let d = shown.from; d < shown.to; d += DAY) days.push((calls.days.get(dayText(d)) || { seconds: 0 }).seconds);
    const most = Math.max(60, ...days);
    const every = days.length > 7 && box.clientWidth < days.length * 18 ? 2 : 1;
    days.forEach((total, i) => {
      const day = shown.from + i * DAY;
      const date = new Date(day);
      const column = html('div', {
        class: 'col', role: 'img', title: `${dayLabel(day)}: ${clock(total)}`,
        'aria-label': `${dayLabel(day)}: ${clock(total)} on the phone`,
      });
      if (day >= range.from && day < range.to && view === 'day') column.classList.add('current');
      const area = column.appendChild(html('span', { class: 'area' }));
      area.appendChild(html('span', { class: 'fill', style: `height:${(100 * total / most).toFixed(1)}%` }));
      const label = days.length <= 7 ? `${WEEKDAYS[date.getUTCDay()].slice(0, 2)} ${date.getUTCDate()}` : `${date.getUTCDate()}`;
      column.appendChild(html('span', { class: 'label' }, i % every === 0 ? label : ''));
      box.appendChild(column);
    });
    const sum = days.reduce((a, b) => a + b, 0);
    const what = view === 'day' ? `the 7 days to ${dayLabel(range.from)}` : rangeText(view, range);
    $('talk-title').textContent = `Talk time per day, ${what}: ${clock(sum)}`;
  }

  // ------------------------------------------------------------ years

  // Shade 0 for a day without rows, 1-4 by the quarter of the shown days
  // with rows that it falls in, so that a history of busy days still shows
  // which were the busier ones.
  function levelsOf(totals) {
    const sorted = [...totals.values()].filter((n) => n > 0).sort((a, b) => a - b);
    const edges = [0.25, 0.5, 0.75].map((q) => sorted[Math.floor(q * (sorted.length - 1))]);
    return (total) => (total === 0 ? 0 : 1 + edges.filter((edge) => total > edge).length);
  }

  // The calendar's cells by day text, for moving between them by keyboard.
  let calendarCells = new Map();

  // One year as columns of weeks (Monday at the top), a cell per day.
  function drawYear(parent, year, tables, levelOf, cell, withMonths) {
    const first = Date.UTC(year, 0, 1);
    const length = (Date.UTC(year + 1, 0, 1) - first) / DAY;
    const offset = (new Date(first).getUTCDay() + 6) % 7;
    const top = withMonths ? 14 : 0;
    const width = Math.ceil((offset + length) / 7) * cell;
    const chart = svg('svg', {
      width, height: top + 7 * cell, class: 'year-grid', role: 'group',
      'aria-label': `${year}, activity per day: arrow keys move between days, Enter opens one`,
    }, parent);
    for (let i = 0; i < length; i++) {
      const day = first + i * DAY;
      const text = dayText(day);
      const counts = dayCounts(tables, text);
      const total = counts[0] + counts[1] + counts[2];
      const place = offset + i;
      if (withMonths && new Date(day).getUTCDate() === 1) {
        svg('text', { class: 'axis', x: Math.floor(place / 7) * cell, y: 10 }, chart).textContent = month(new Date(day));
      }
      const rect = svg('rect', {
        class: `cell l${levelOf(total)}`, x: Math.floor(place / 7) * cell, y: top + (place % 7) * cell,
        width: cell - 2, height: cell - 2, rx: 1.5, tabindex: -1, 'data-day': text,
        'aria-label': dayDescription(day, counts),
      }, chart);
      svg('title', {}, rect).textContent = `${dayLabel(day)} ${year}: ${total}`;
      calendarCells.set(text, rect);
    }
    return chart;
  }

  // The cell that takes the tab stop: the shown day when drawn, else the first.
  function settleTabStop(anchor) {
    const cell = calendarCells.get(dayText(anchor)) || calendarCells.values().next().value;
    if (cell) cell.setAttribute('tabindex', '0');
  }

  function moveInCalendar(event) {
    const day = event.target.dataset && event.target.dataset.day;
    if (!day) return;
    const steps = { ArrowUp: -1, ArrowDown: 1, ArrowLeft: -7, ArrowRight: 7 };
    if (event.key === 'Enter' || event.key === ' ') {
      go({ view: 'day', anchor: dayOf(day) });
    } else if (steps[event.key]) {
      const next = calendarCells.get(dayText(dayOf(day) + steps[event.key] * DAY));
      if (next) {
        event.target.setAttribute('tabindex', '-1');
        next.setAttribute('tabindex', '0');
        next.focus();
        $('detail-years').textContent = next.getAttribute('aria-label');
      }
    } else {
      return;
    }
    event.preventDefault();
    event.stopPropagation();
  }

  // The year of the view, or every year of the history one under another.
  function drawCalendar(view, anchor, tables) {
    const box = $('calendar');
    box.textContent = '';
    calendarCells = new Map();
    const width = Math.max(280, box.clientWidth || 960);
    const totals = new Map();
    for (const table of tables) for (const [day, d] of table.days) totals.set(day, (totals.get(day) || 0) + d.count);
    const levelOf = levelsOf(totals);
    let years = [new Date(anchor).getUTCFullYear()];
    if (view === 'all') {
      const ends = tables.flatMap((t) => [t.first, t.last]).filter(Boolean).sort();
      const from = ends.length ? +ends[0].slice(0, 4) : years[0];
      const to = ends.length ? +ends[ends.length - 1].slice(0, 4) : years[0];
      years = [];
      for (let y = to; y >= from; y--) years.push(y);
    }
    // A year's label goes beside its calendar, or above it on a phone.
    const label = view === 'all' && width >= 560 ? 48 : 0;
    const cell = Math.max(5, Math.min(view === 'all' ? 16 : 20, Math.floor((width - label - 8) / 53)));
    for (const year of years) {
      const row = html('div', { class: 'year-row' });
      if (view === 'all') {
        const open = html('button', { type: 'button', class: 'year-label', 'aria-label': `Open ${year}` }, year);
        open.addEventListener('click', () => go({ view: 'year', anchor: Date.UTC(year, 0, 1) }));
        row.appendChild(open);
      }
      box.appendChild(row);
      drawYear(row, year, tables, levelOf, cell, view === 'year');
    }
    settleTabStop(anchor);
    $('calendar-title').textContent = view === 'all'
      ? `Activity per day, ${years.length === 1 ? years[0] : `${years[years.length - 1]}–${years[0]}`}`
      : `Activity per day, ${years[0]}`;
  }

  // Rows by weekday (Monday first) and hour of the day, all kinds together.
  function drawHours(tables) {
    const box = $('hours');
    box.textContent = '';
    const order = [1, 2, 3, 4, 5, 6, 0];
    const grid = order.map((w) => new Array(24).fill(0).map((_, h) =>
      tables.reduce((sum, t) => sum + (t.hours ? t.hours[w][h] : 0), 0)));
    const most = Math.max(1, ...grid.flat());
    const width = Math.max(280, box.clientWidth || 960);
    const left = 34;
    const top = 16;
    const cell = Math.max(10, Math.min(30, Math.floor((width - left) / 24)));
    let busiest = { n: 0, w: 0, h: 0 };
    const chart = svg('svg', { width: left + 24 * cell, height: top + 7 * cell, role: 'img' }, box);
    for (let h = 0; h < 24; h += cell < 18 ? 6 : 3) {
      svg('text', { class: 'axis', x: left + h * cell, y: 11 }, chart).textContent = `${String(h).padStart(2, '0')}:00`;
    }
    grid.forEach((hours, row) => {
      svg('text', { class: 'axis', x: 0, y: top + row * cell + cell / 2 + 4 }, chart).textContent = WEEKDAYS[order[row]];
      hours.forEach((n, h) => {
        if (n > busiest.n) busiest = { n, w: order[row], h };
        const rect = svg('rect', {
          class: n ? 'hour' : 'hour none', x: left + h * cell, y: top + row * cell,
          width: cell - 2, height: cell - 2, rx: 2,
          style: n ? `fill-opacity:${(0.12 + 0.88 * n / most).toFixed(3)}` : '',
        }, chart);
        svg('title', {}, rect).textContent = `${WEEKDAYS[order[row]]} ${String(h).padStart(2, '0')}:00: ${n}`;
      });
    });
    const summary = busiest.n
      ? `Busiest hour: ${WEEKDAYS[busiest.w]} ${String(busiest.h).padStart(2, '0')}:00 (${busiest.n})`
      : 'Nothing logged';
    chart.setAttribute('aria-label', `Activity by weekday and hour. ${summary}`);
    $('hours-busiest').textContent = summary;
  }

  // ------------------------------------------------------------ state

  const VIEWS = ['day', 'week', 'month', 'year', 'all'];
  const state = { view: 'day', anchor: null, search: '', person: '' };
  let shown = null; // what was drawn last, redrawn on resize
  let generation = 0;

  function readHash() {
    const params = new URLSearchParams(location.hash.slice(1));
    const view = params.get('view');
    if (VIEWS.includes(view)) state.view = view;
    const date = params.get('date');
    if (date && /^\d{4}-\d{2}-\d{2}$/.test(date) && !Number.isNaN(dayOf(date))) state.anchor = dayOf(date);
    if (params.has('q')) state.search = params.get('q');
    state.person = params.get('person') || '';
  }
  function hashOf(person) {
    const params = new URLSearchParams({ view: state.view, date: dayText(state.anchor) });
    if (state.search) params.set('q', state.search);
    if (person) params.set('person', person);
    return params.toString();
  }
  const personHash = (key) => hashOf(key);
  function writeHash() {
    history.replaceState(null, '', `#${hashOf(state.person)}`);
  }

  function showStatus(text) {
    $('status').hidden = !text;
    $('status').textContent = text || '';
  }

  function go(change) {
    Object.assign(state, change);
    render();
  }

  function step(direction) {
    const d = new Date(state.anchor);
    if (state.view === 'all') return;
    if (state.view === 'year') {
      go({ anchor: Date.UTC(d.getUTCFullYear() + direction, d.getUTCMonth(), Math.min(d.getUTCDate(), 28)) });
    } else if (state.view === 'month') {
      go({ anchor: Date.UTC(d.getUTCFullYear(), d.getUTCMonth() + direction, 1) });
    } else {
      go({ anchor: state.anchor + direction * (state.view === 'week' ? 7 : 1) * DAY });
    }
  }

  function problemText(refusal) {
    const body = refusal.body || {};
    return body.parameter === 'where' || body.parameter === 'search'
      ? `The library refused the search: ${body.codeText} (${body.code})`
      : refusal.message;
  }

  function showSummary(text, calls, talk, messages, media) {
    $('summary').textContent = `${text}: ${plural(calls, 'call', 'calls')} ` +
      `(${clock(talk)} talking), ${plural(messages, 'message', 'messages')}, ` +
      `${plural(media, 'media play', 'media plays')}` +
      (state.search ? `, matching “${state.search}”` : '');
  }

  // A day, week or month: the rows of the range, the days of its strip.
  async function renderRange(mine, range) {
    const strip = stripOf(range);
    let rowsByKind = KINDS.map(() => []);
    let tables = KINDS.map(() => dayTable({ days: [], hours: null, count: 0 }));
    let tops = [[], []];
    let problem = '';
    try {
      [rowsByKind, tables, ...tops] = await Promise.all([
        Promise.all(KINDS.map((kind) => source.rows(kind, range, state.search))),
        Promise.all(KINDS.map((kind) => source.days(kind, strip, state.search))),
        source.top(KINDS[0], range, state.search, 5),
        source.top(KINDS[1], range, state.search, 5),
      ]);
    } catch (refusal) {
      problem = problemText(refusal);
    }
    if (mine !== generation) return;
    showStatus(problem);
    shown = { view: state.view, range, rowsByKind };
    const talk = rowsByKind[0].reduce((sum, row) => sum + (row.CLOG_DURATION || 0), 0);
    showSummary(rangeText(state.view, range), rowsByKind[0].length, talk, rowsByKind[1].length, rowsByKind[2].length);
    drawDays(range, strip, tables);
    const marks = drawTimeline(state.view, range, rowsByKind);
    drawRows(state.view, range, rowsByKind);
    drawTop('top-calls', KINDS[0], tops[0], 'calls');
    drawTop('top-messages', KINDS[1], tops[1], 'messages');
    drawTalk(state.view, range, tables[0]);
    await marks;
  }

  // A year, or all of them: a day table per kind for the whole range.
  async function renderYears(mine, range) {
    let tables = KINDS.map(() => dayTable({ days: [], hours: null, count: 0 }));
    let tops = [[], []];
    let problem = '';
    try {
      [tables, ...tops] = await Promise.all([
        Promise.all(KINDS.map((kind) => source.days(kind, range, state.search))),
        range ? source.top(KINDS[0], range, state.search, 5) : [],
        range ? source.top(KINDS[1], range, state.search, 5) : [],
      ]);
    } catch (refusal) {
      problem = problemText(refusal);
    }
    if (mine !== generation) return;
    showStatus(problem);
    shown = { view: state.view, anchor: state.anchor, tables };
    showSummary(rangeText(state.view, range), tables[0].count, tables[0].seconds, tables[1].count, tables[2].count);
    drawCalendar(state.view, state.anchor, tables);
    drawHours(tables);
    drawTop('top-calls', KINDS[0], tops[0], 'calls');
    drawTop('top-messages', KINDS[1], tops[1], 'messages');
  }

  // ------------------------------------------------------------ a person

  const monthOf = (day) => day.slice(0, 7);
  function monthsBetween(first, last) {
    const months = [];
    let y = +first.slice(0, 4);
    let m = +first.slice(5, 7);
    while (`${y}-${String(m).padStart(2, '0')}` <= last && months.length < 600) {
      months.push(`${y}-${String(m).padStart(2, '0')}`);
      m = m === 12 ? 1 : m + 1;
      y = m === 1 ? y + 1 : y;
    }
    return months;
  }

  // Calls and messages per month, side by side, from the first contact to the last.
  function drawMonths(person) {
    const box = $('person-months');
    box.textContent = '';
    const tally = new Map();
    for (const [kind, days] of [['call', person.calls.days], ['message', person.messages.days]]) {
      for (const d of days) {
        const t = tally.get(monthOf(d.day)) || { call: 0, message: 0 };
        t[kind] += d.count;
        tally.set(monthOf(d.day), t);
      }
    }
    const known = [...tally.keys()].sort();
    if (!known.length) return;
    const months = monthsBetween(known[0], known[known.length - 1]);
    const most = Math.max(1, ...[...tally.values()].flatMap((t) => [t.call, t.message]));
    const width = Math.max(18, Math.min(48, Math.floor(900 / months.length)));
    const height = 120;
    const chart = svg('svg', { width: months.length * width + 4, height: height + 20, role: 'img',
      'aria-label': `Calls and messages per month, ${months[0]} to ${months[months.length - 1]}` }, box);
    months.forEach((m, i) => {
      const t = tally.get(m) || { call: 0, message: 0 };
      ['call', 'message'].forEach((kind, j) => {
        const h = Math.round((height * t[kind]) / most);
        const bar = svg('rect', { class: `mark ${kind}`, x: i * width + 2 + j * (width / 2 - 1),
          y: height - h, width: width / 2 - 2, height: h }, chart);
        svg('title', {}, bar).textContent = `${m}: ${plural(t[kind], kind, `${kind}s`)}`;
      });
      if (months.length <= 24 || m.endsWith('-01')) {
        svg('text', { class: 'axis', x: i * width + 2, y: height + 14 }, chart).textContent =
          m.endsWith('-01') || i === 0 ? m : MONTHS[+m.slice(5) - 1].slice(0, 3);
      }
    });
  }

  function drawPerson(person) {
    $('person-title').textContent = person.name || person.key;
    const first = [person.calls.first, person.messages.first].filter(Boolean).sort()[0];
    const last = [person.calls.last, person.messages.last].filter(Boolean).sort().pop();
    $('person-summary').textContent = `${plural(person.calls.count, 'call', 'calls')} ` +
      `(${clock(person.calls.seconds || 0)} talking), ${plural(person.messages.count, 'message', 'messages')}` +
      (first ? `; first contact ${first}, last ${last}` : '; no contact logged');
    const numbers = new Map();
    for (const n of [...person.calls.numbers, ...person.messages.numbers]) {
      numbers.set(n.number, (numbers.get(n.number) || 0) + n.count);
    }
    const list = $('person-numbers');
    list.textContent = '';
    for (const [number, count] of numbers) {
      list.appendChild(html('li', {}, `${number || '(no number)'}: ${plural(count, 'time', 'times')}`));
    }
    drawMonths(person);
  }

  async function renderPerson(mine, key) {
    let person = null;
    let problem = '';
    try {
      person = await source.person(key);
    } catch (refusal) {
      problem = problemText(refusal);
    }
    if (mine !== generation) return;
    showStatus(problem);
    if (person) drawPerson(person);
  }

  async function render() {
    const mine = ++generation;
    writeHash();
    const range = rangeOf(state.view, state.anchor);
    for (const button of document.querySelectorAll('[data-view]')) {
      button.setAttribute('aria-pressed', String(button.dataset.view === state.view));
    }
    document.body.dataset.view = state.view;
    $('range').textContent = rangeText(state.view, range);
    $('previous').disabled = $('next').disabled = state.view === 'all';
    $('query').value = state.search;
    delete document.body.dataset.ready;
    $('person').hidden = !state.person;
    if (state.person) document.body.dataset.person = state.person;
    else delete document.body.dataset.person;
    $('person-back').href = `#${hashOf('')}`;
    await (state.person ? renderPerson(mine, state.person)
      : range && state.view !== 'year' ? renderRange(mine, range) : renderYears(mine, range));
    if (mine === generation) document.body.dataset.ready = 'true';
  }

  // The day the page opens on when the address names none: the latest day
  // with more than one row.  A lone latest row (a call logged since, with
  // nothing else that day) is not a day worth opening on.
  function latestFullDay(tables) {
    let best = null;
    for (const table of tables) {
      for (const [day] of table.days) {
        const total = dayCounts(tables, day).reduce((a, b) => a + b, 0);
        if (total > 1 && (best === null || day > best)) best = day;
      }
    }
    return best === null ? null : dayOf(best);
  }

  async function firstDay() {
    const latest = await source.latest();
    if (!latest) return dayOf(new Date().toISOString());
    const last = dayOf(latest);
    const recent = { from: last - 34 * DAY, to: last + DAY };
    const near = latestFullDay(await Promise.all(KINDS.map((kind) => source.days(kind, recent, ''))));
    if (near !== null) return near;
    const any = latestFullDay(await Promise.all(KINDS.map((kind) => source.days(kind, null, ''))));
    return any ?? last;
  }

  // ------------------------------------------------------------ wiring

  for (const button of document.querySelectorAll('[data-view]')) {
    button.addEventListener('click', () => go({ view: button.dataset.view }));
  }
  window.addEventListener('resize', keepStripEndInSight);
  $('previous').addEventListener('click', () => step(-1));
  $('next').addEventListener('click', () => step(1));
  $('calendar').addEventListener('keydown', moveInCalendar);
  $('rows').addEventListener('keydown', moveInRows);
  $('calendar').addEventListener('click', (event) => {
    const day = event.target.dataset && event.target.dataset.day;
    if (day) go({ view: 'day', anchor: dayOf(day) });
  });
  const showCell = (event) => {
    const label = event.target.getAttribute && event.target.getAttribute('aria-label');
    if (event.target.dataset && event.target.dataset.day) $('detail-years').textContent = label;
  };
  $('calendar').addEventListener('focusin', showCell);
  $('calendar').addEventListener('mouseover', showCell);
  let typing = 0;
  $('search').addEventListener('submit', (event) => {
    event.preventDefault();
    clearTimeout(typing);
    go({ search: $('query').value.trim() });
  });
  $('query').addEventListener('input', () => {
    clearTimeout(typing);
    typing = setTimeout(() => go({ search: $('query').value.trim() }), 400);
  });
  document.addEventListener('keydown', (event) => {
    if (event.altKey || event.ctrlKey || event.metaKey) return;
    if (event.target.closest && event.target.closest('input')) {
      if (event.key === 'Escape') { $('query').value = ''; go({ search: '' }); }
      return;
    }
    const views = { d: 'day', w: 'week', m: 'month', y: 'year', a: 'all' };
    if (event.key === 'ArrowLeft') step(-1);
    else if (event.key === 'ArrowRight') step(1);
    else if (views[event.key]) go({ view: views[event.key] });
    else if (event.key === '/') $('query').focus();
    else return;
    event.preventDefault();
  });
  window.addEventListener('hashchange', () => { readHash(); render(); });
  let resizing = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizing);
    resizing = setTimeout(() => {
      if (!shown) return;
      if (shown.rowsByKind) drawTimeline(shown.view, shown.range, shown.rowsByKind);
      else { drawCalendar(shown.view, shown.anchor, shown.tables); drawHours(shown.tables); }
    }, 150);
  });

  (async function start() {
    readHash();
    source.about().then((text) => { $('source').textContent = text; }, () => {});
    if (state.anchor == null) {
      try {
        state.anchor = await firstDay();
      } catch (refusal) {
        showStatus(refusal.message);
        state.anchor = dayOf(new Date().toISOString());
      }
    }
    render();
  })();
})();
