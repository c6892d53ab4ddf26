// The pages of `wendmoor serve`: each asks the server for JSON and draws it. Times come from the
// server as UTC milliseconds and as the station's clock texts.
'use strict';

const day = 24 * 3600 * 1000;
const two = (n) => String(n).padStart(2, '0');
const clockOf = (ms) => `${two(Math.floor(ms / 3600000))}:${two(Math.floor(ms / 60000) % 60)}:${two(Math.floor(ms / 1000) % 60)}`;
let formToken = '';

function problem(text) {
  const p = document.getElementById('problem');
  p.textContent = text;
  p.hidden = !text;
}

async function getJson(url) {
  const reply = await fetch(url, { credentials: 'same-origin' });
  if (reply.status === 401) {
    location.href = '/login';
    throw new Error('Log in first');
  }
  const json = await reply.json();
  if (!reply.ok) throw new Error(json.error || reply.statusText);
  return json;
}

function cell(row, text) {
  const td = row.insertCell();
  td.textContent = text;
  return td;
}

async function showSession() {
  const session = await getJson('/api/session');
  formToken = session.token;
  const place = document.getElementById('session');
  if (!place || !session.loginRequired || !session.loggedIn) return;
  const form = document.createElement('form');
  form.method = 'post';
  form.action = '/logout';
  form.style.display = 'inline';
  const token = document.createElement('input');
  Object.assign(token, { type: 'hidden', name: 'token', value: formToken });
  const button = document.createElement('button');
  button.textContent = 'Log out';
  form.append(token, button);
  place.append(form);
}

async function daysPage() {
  const days = await getJson('/api/days');
  const body = document.querySelector('#days tbody');
  for (const d of days.reverse()) {
    const row = body.insertRow();
    const link = document.createElement('a');
    link.href = `/day?date=${d.date}`;
    link.textContent = d.date;
    row.insertCell().append(link);
    const share = d.lengthMs > 0 ? (100 * d.recordedMs) / d.lengthMs : 0;
    const bar = document.createElement('span');
    bar.className = 'share';
    bar.innerHTML = '<span></span>';
    bar.firstChild.style.width = `${share.toFixed(1)}%`;
    const td = cell(row, `${share.toFixed(1)} %`);
    td.prepend(bar);
    cell(row, String(d.gaps));
  }
  if (!days.length) problem('The archive holds no log yet.');
}

async function dayPage() {
  const params = new URLSearchParams(location.search);
  const date = params.get('date') || new Date().toISOString().slice(0, 10);
  const info = await getJson(`/api/day?date=${encodeURIComponent(date)}`);
  const length = info.end - info.from;
  document.getElementById('title').textContent = `Day ${info.date}`;
  document.title = `Wendmoor – ${info.date}`;
  const shift = (n) => {
    const d = new Date(`${info.date}T12:00:00Z`);
    d.setUTCDate(d.getUTCDate() + n);
    return `/day?date=${d.toISOString().slice(0, 10)}`;
  };
  document.getElementById('previous').href = shift(-1);
  document.getElementById('next').href = shift(1);

  const timeline = document.getElementById('timeline');
  const place = (from, to, className, title) => {
    const div = document.createElement('div');
    div.className = className;
    div.style.left = `${(100 * (from - info.from)) / length}%`;
    div.style.width = `${Math.max((100 * (to - from)) / length, 0.05)}%`;
    div.title = title;
    timeline.append(div);
  };
  for (const s of info.segments) place(s.from, s.to, 'segment', `recorded ${s.fromClock} – ${s.toClock}`);
  for (const h of info.holds) place(h.from, h.to, 'hold', `held: ${h.reason}`);
  const gaps = document.querySelector('#gaps tbody');
  for (const g of info.gaps) {
    const row = gaps.insertRow();
    cell(row, g.fromClock);
    cell(row, g.toClock);
    cell(row, g.detail ? `${g.reason} (${g.detail})` : g.reason);
  }
  const holds = document.querySelector('#holds tbody');
  for (const h of info.holds) {
    const row = holds.insertRow();
    cell(row, h.fromClock);
    cell(row, h.toClock);
    cell(row, h.reason);
    cell(row, h.user);
  }

  const player = document.getElementById('player');
  const output = document.getElementById('clock');
  const cursor = document.getElementById('cursor');
  const input = document.getElementById('time');
  let log = -1;
  const moveCursor = (offset) => {
    cursor.style.left = `${(100 * offset) / length}%`;
    timeline.setAttribute('aria-valuenow', String(Math.round(offset / 1000)));
    timeline.setAttribute('aria-valuetext', clockOf(offset));
  };
  // The clock time of the player's position: the segment of the playing log that holds it.
  player.addEventListener('timeupdate', () => {
    const t = player.currentTime;
    const s = info.segments.find((x) => x.log === log && t >= x.seconds && t < x.seconds + (x.to - x.from) / 1000 + 1);
    if (!s) return;
    const offset = s.from - info.from + (t - s.seconds) * 1000;
    output.textContent = clockOf(offset);
    moveCursor(offset);
  });
  const play = async (time) => {
    problem('');
    try {
      const where = await getJson(`/api/locate?date=${info.date}&time=${time}`);
      if (where.log !== log) {
        log = where.log;
        player.src = `/audio?date=${info.date}&log=${log}`;
        await new Promise((resolve, reject) => {
          player.addEventListener('loadedmetadata', resolve, { once: true });
          player.addEventListener('error', () => reject(new Error('The browser cannot play this log')), { once: true });
          player.load();
        });
      }
      player.currentTime = where.seconds;
      document.body.dataset.requested = String(where.seconds);
      await player.play();
    } catch (e) {
      problem(e.message);
    }
  };
  const offsetAt = (x) => Math.min(Math.max(x, 0), 1) * length;
  timeline.addEventListener('click', (e) => {
    const box = timeline.getBoundingClientRect();
    const offset = offsetAt((e.clientX - box.left) / box.width);
    input.value = clockOf(offset);
    moveCursor(offset);
    play(input.value);
  });
  timeline.addEventListener('keydown', (e) => {
    const now = Number(timeline.getAttribute('aria-valuenow')) * 1000;
    const step = { ArrowLeft: -60000, ArrowRight: 60000, PageDown: -3600000, PageUp: 3600000 }[e.key];
    if (step) {
      const offset = offsetAt((now + step) / length);
      input.value = clockOf(offset);
      moveCursor(offset);
      e.preventDefault();
    } else if (e.key === 'Enter') {
      play(input.value);
      e.preventDefault();
    }
  });
  document.getElementById('goto').addEventListener('submit', (e) => {
    e.preventDefault();
    play(input.value.length === 5 ? `${input.value}:00` : input.value);
  });
  document.getElementById('clipDate').value = info.date;
  document.getElementById('hold').addEventListener('submit', async (e) => {
    e.preventDefault();
    const form = new FormData(e.target);
    form.append('date', info.date);
    form.append('token', formToken);
    const seconds = (v) => (v.length === 5 ? `${v}:00` : v);
    form.set('from', seconds(form.get('from')));
    form.set('to', seconds(form.get('to')));
    const reply = await fetch('/api/holds', { method: 'POST', body: new URLSearchParams(form), credentials: 'same-origin' });
    if (reply.status === 401) {
      location.href = '/login';
      return;
    }
    if (!reply.ok) {
      problem((await reply.json()).error);
      return;
    }
    location.reload();
  });
  if (params.get('time')) {
    input.value = params.get('time');
  }
  document.body.dataset.ready = 'yes';
}

async function nowPage() {
  const show = async () => {
    try {
      const s = await getJson('/api/status');
      problem(s.running ? '' : 'The recorder is not running.');
      document.getElementById('recording').textContent = s.running ? (s.recording ? 'yes' : 'no') : 'not running';
      document.getElementById('log').textContent = s.log || '–';
      document.getElementById('lastWrite').textContent = s.lastWrite || '–';
      const level = Math.round((s.level || 0) * 100);
      document.getElementById('level').value = level;
      document.getElementById('levelText').textContent = `${level} %`;
      document.getElementById('forecast').textContent = s.forecast || '–';
      const list = document.getElementById('messages');
      list.replaceChildren(...(s.messages || []).map((m) => {
        const li = document.createElement('li');
        li.textContent = m;
        return li;
      }));
    } catch (e) {
      problem(e.message);
    }
  };
  await show();
  setInterval(show, 2000);
}

function loginPage() {
  if (new URLSearchParams(location.search).get('failed')) problem(document.getElementById('problem').textContent);
}

document.addEventListener('DOMContentLoaded', async () => {
  const page = document.body.dataset.page;
  try {
    if (page === 'login') return loginPage();
    await showSession();
    if (page === 'days') await daysPage();
    if (page === 'day') await dayPage();
    if (page === 'now') await nowPage();
  } catch (e) {
    problem(e.message);
  }
});
