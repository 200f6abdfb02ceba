// The lifelog page: one day, week or month of the life log as a timeline
// with a lane per kind, activity per day, top contacts and talk time.
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

  // [from, to) of the view around a day: the day, its week from Monday, its month.
  function rangeOf(view, anchor) {
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
    const first = new Date(range.from);
    const last = new Date(range.to - DAY);
    if (view === 'day') return `${dayLabel(range.from)} ${first.getUTCFullYear()}`;
    if (view === 'month') return `${MONTHS[first.getUTCMonth()]} ${first.getUTCFullYear()}`;
    return `${dayLabel(range.from)} – ${dayLabel(range.to - DAY)} ${last.getUTCFullYear()}`;
  }

  // ------------------------------------------------------------ search

  // The typed text is always one SQL string literal (quotes doubled), so
  // that it can only ever be a pattern, never part of the condition.
  const sqlString = (text) => `'${text.replace(/'/g, "''")}'`;
  const likeCondition = (column, text) => `${column} LIKE ${sqlString(`%${text}%`)}`;
  // The same pattern for rows that travel with the page: % any run, _ any one.
  function likeMatcher(text) {
    const pattern = [...`%${text}%`].map((c) =>
      c === '%' ? '.*' : c === '_' ? '.' : c.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')).join('');
    const expression = new RegExp(`^${pattern}$`, 'is');
    return (value) => expression.test(value == null ? '' : String(value));
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

  const serverSource = {
    async rows(kind, range, search) {
      const params = { ...bounds(range), order: 'time' };
      if (search && kind.number) params.where = likeCondition(kind.number, search);
      return (await api(kind.kind, params)).rows;
    },
    async top(kind, range, search, n) {
      const params = { column: kind.number, n, ...bounds(range) };
      if (search) params.where = likeCondition(kind.number, search);
      return (await api(`${kind.kind}/top`, params)).values;
    },
    async latest() {
      const times = await Promise.all(KINDS.map((kind) =>
        api(kind.kind, { order: 'time:desc', limit: 1 }).then(
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
      const matches = search && kind.number ? likeMatcher(search) : null;
      return (embedded.rows[kind.kind] || []).filter((row) => {
        const t = rowTime(row);
        return t >= range.from && t < range.to && (!matches || matches(row[kind.number]));
      });
    },
    async top(kind, range, search, n) {
      const counts = new Map();
      for (const row of await this.rows(kind, range, search)) {
        const value = row[kind.number];
        counts.set(value, (counts.get(value) || 0) + 1);
      }
      return [...counts].map(([value, count]) => ({ value, count }))
        .sort((a, b) => b.count - a.count).slice(0, n);
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

  // ------------------------------------------------------------ rows

  const DIRECTIONS = {
    call: ['incoming', 'outgoing', 'missed'],
    message: ['received', 'sent'],
  };
  function who(kind, row) {
    if (!kind.number) return row.MDLOG_TITLE || '(untitled)';
    const number = row[kind.number] || '(no number)';
    return row[kind.name] ? `${row[kind.name]} ${number}` : number;
  }
  function describe(kind, row) {
    const parts = [row.time.replace('T', ' '), kind.kind, who(kind, row)];
    const direction = row.CLOG_DIRECTION ?? row.MSGLOG_DIRECTION;
    if (direction != null && DIRECTIONS[kind.kind]) {
      parts.push(DIRECTIONS[kind.kind][direction] || `direction ${direction}`);
    }
    if (row.CLOG_DURATION != null) parts.push(clock(row.CLOG_DURATION));
    if (row.MDLOG_PLAY_TIME != null) parts.push(`played ${clock(row.MDLOG_PLAY_TIME)}`);
    if (row.MDLOG_ARTIST) parts.push(row.MDLOG_ARTIST);
    if (row.MSGLOG_SUMMARY) parts.push(`“${row.MSGLOG_SUMMARY}”`);
    return parts.join(' · ');
  }
  const seconds = (row) => row.CLOG_DURATION ?? row.MDLOG_PLAY_TIME ?? 0;

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
    const left = narrow ? 66 : 86;
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
    KINDS.forEach((kind, i) => {
      const y = top + i * lane;
      svg('rect', { class: `lane ${kind.kind}`, x: left, y: y + 2, width: width - left - right, height: lane - 4 }, chart);
      const name = svg('text', { class: 'lane-name', x: 4, y: y + lane / 2 + 4 }, chart);
      const rows = rowsByKind[i].filter((r) => rowTime(r) >= range.from && rowTime(r) < range.to);
      name.textContent = `${kind.lane} ${rows.length}`;
      for (const row of rows) {
        const start = rowTime(row);
        const x0 = x(start);
        const x1 = x(Math.min(range.to, start + seconds(row) * 1000));
        const missed = kind.kind === 'call' && row.CLOG_DIRECTION === 2;
        const mark = svg('rect', {
          class: `mark ${kind.kind}${missed ? ' missed' : ''}`,
          x: x0 - 1, y: y + 8, width: Math.max(3, x1 - x0), height: lane - 16, rx: 1.5,
          tabindex: 0, 'data-key': row.LOG_KEY, 'aria-label': describe(kind, row),
        }, chart);
        svg('title', {}, mark).textContent = describe(kind, row);
        marked.set(mark, { kind, row });
      }
    });
    const show = (event) => {
      const hit = marked.get(event.target);
      if (hit) $('detail').textContent = describe(hit.kind, hit.row);
    };
    chart.addEventListener('focusin', show);
    chart.addEventListener('mouseover', show);
  }

  function perDay(strip, rows, value) {
    const days = [];
    for (let d = strip.from; d < strip.to; d += DAY) days.push(0);
    for (const row of rows) {
      const i = Math.floor((rowTime(row) - strip.from) / DAY);
      if (i >= 0 && i < days.length) days[i] += value(row);
    }
    return days;
  }

  function drawDays(range, strip, rowsByKind) {
    const box = $('days');
    box.textContent = '';
    const counts = rowsByKind.map((rows) => perDay(strip, rows, () => 1));
    const totals = counts[0].map((_, i) => counts.reduce((sum, c) => sum + c[i], 0));
    const most = Math.max(1, ...totals);
    totals.forEach((total, i) => {
      const day = strip.from + i * DAY;
      const date = new Date(day);
      const button = html('button', {
        type: 'button', class: 'day', 'data-day': dayText(day),
        'aria-label': `${dayLabel(day)}: ${plural(counts[0][i], 'call', 'calls')}, ` +
          `${plural(counts[1][i], 'message', 'messages')}, ${plural(counts[2][i], 'media play', 'media plays')}`,
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
  function keepStripEndInSight() {
    const box = $('days');
    box.scrollLeft = box.scrollWidth;
  }

  function drawTop(listId, kind, values, names, noun) {
    const list = $(listId);
    list.textContent = '';
    if (!values.length) {
      list.appendChild(html('li', { class: 'none' }, `No ${noun} in this range`));
      return;
    }
    const most = Math.max(...values.map((v) => v.count));
    for (const { value, count } of values) {
      const item = html('li', {});
      const name = names.get(value);
      const label = html('span', { class: 'who' }, name || value || '(no number)');
      if (name) label.appendChild(html('small', {}, ` ${value}`));
      const bar = html('span', { class: `bar ${kind.kind}`, style: `width:${(100 * count / most).toFixed(1)}%` });
      item.append(label, html('span', { class: 'track' }), html('span', { class: 'count' }, count));
      item.querySelector('.track').appendChild(bar);
      list.appendChild(item);
    }
  }

  function drawTalk(range, strip, calls) {
    const box = $('talk');
    box.textContent = '';
    const days = perDay(strip, calls, (row) => row.CLOG_DURATION || 0);
    const most = Math.max(60, ...days);
    days.forEach((total, i) => {
      const day = strip.from + i * DAY;
      const column = html('div', {
        class: 'col', role: 'img', title: `${dayLabel(day)}: ${clock(total)}`,
        'aria-label': `${dayLabel(day)}: ${clock(total)} on the phone`,
      });
      if (day >= range.from && day < range.to) column.classList.add('current');
      column.appendChild(html('span', { class: 'fill', style: `height:${(100 * total / most).toFixed(1)}%` }));
      box.appendChild(column);
    });
    const sum = days.reduce((a, b) => a + b, 0);
    $('talk-title').textContent = `Talk time per day (${days.length} days: ${clock(sum)})`;
  }

  // ------------------------------------------------------------ state

  const state = { view: 'day', anchor: null, search: '' };
  let shown = null; // what was drawn last, redrawn on resize
  let generation = 0;

  function readHash() {
    const params = new URLSearchParams(location.hash.slice(1));
    const view = params.get('view');
    if (['day', 'week', 'month'].includes(view)) state.view = view;
    const date = params.get('date');
    if (date && /^\d{4}-\d{2}-\d{2}$/.test(date) && !Number.isNaN(dayOf(date))) state.anchor = dayOf(date);
    if (params.has('q')) state.search = params.get('q');
  }
  function writeHash() {
    const params = new URLSearchParams({ view: state.view, date: dayText(state.anchor) });
    if (state.search) params.set('q', state.search);
    history.replaceState(null, '', `#${params}`);
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
    if (state.view === 'month') {
      go({ anchor: Date.UTC(d.getUTCFullYear(), d.getUTCMonth() + direction, 1) });
    } else {
      go({ anchor: state.anchor + direction * (state.view === 'week' ? 7 : 1) * DAY });
    }
  }

  async function render() {
    const mine = ++generation;
    writeHash();
    const range = rangeOf(state.view, state.anchor);
    const strip = stripOf(range);
    for (const button of document.querySelectorAll('[data-view]')) {
      button.setAttribute('aria-pressed', String(button.dataset.view === state.view));
    }
    $('range').textContent = rangeText(state.view, range);
    $('query').value = state.search;
    let rowsByKind = KINDS.map(() => []);
    let topCalls = [];
    let topMessages = [];
    let problem = '';
    try {
      [rowsByKind, topCalls, topMessages] = await Promise.all([
        Promise.all(KINDS.map((kind) => source.rows(kind, strip, state.search))),
        source.top(KINDS[0], range, state.search, 5),
        source.top(KINDS[1], range, state.search, 5),
      ]);
    } catch (refusal) {
      rowsByKind = KINDS.map(() => []);
      const body = refusal.body || {};
      problem = body.parameter === 'where'
        ? `The library refused the search: ${body.codeText} (${body.code})`
        : refusal.message;
    }
    if (mine !== generation) return;
    showStatus(problem);
    shown = { view: state.view, range, rowsByKind };
    const names = new Map();
    rowsByKind.forEach((rows, i) => {
      if (KINDS[i].name) for (const row of rows) if (row[KINDS[i].name]) names.set(row[KINDS[i].number], row[KINDS[i].name]);
    });
    const inRange = rowsByKind.map((rows) => rows.filter((r) => rowTime(r) >= range.from && rowTime(r) < range.to));
    const talk = inRange[0].reduce((sum, row) => sum + (row.CLOG_DURATION || 0), 0);
    $('summary').textContent = `${rangeText(state.view, range)}: ${plural(inRange[0].length, 'call', 'calls')} ` +
      `(${clock(talk)} talking), ${plural(inRange[1].length, 'message', 'messages')}, ` +
      `${plural(inRange[2].length, 'media play', 'media plays')}` +
      (state.search ? `, numbers containing “${state.search}”` : '');
    drawDays(range, strip, rowsByKind);
    drawTimeline(state.view, range, rowsByKind);
    drawTop('top-calls', KINDS[0], topCalls, names, 'calls');
    drawTop('top-messages', KINDS[1], topMessages, names, 'messages');
    drawTalk(range, strip, rowsByKind[0]);
    document.body.dataset.ready = 'true';
  }

  // ------------------------------------------------------------ wiring

  for (const button of document.querySelectorAll('[data-view]')) {
    button.addEventListener('click', () => go({ view: button.dataset.view }));
  }
  window.addEventListener('resize', keepStripEndInSight);
  $('previous').addEventListener('click', () => step(-1));
  $('next').addEventListener('click', () => step(1));
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
    const views = { d: 'day', w: 'week', m: 'month' };
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
    resizing = setTimeout(() => { if (shown) drawTimeline(shown.view, shown.range, shown.rowsByKind); }, 150);
  });

  (async function start() {
    readHash();
    source.about().then((text) => { $('source').textContent = text; }, () => {});
    if (state.anchor == null) {
      try {
        const latest = await source.latest();
        state.anchor = dayOf(latest || new Date().toISOString());
      } catch (refusal) {
        showStatus(refusal.message);
        state.anchor = dayOf(new Date().toISOString());
      }
    }
    render();
  })();
})();
