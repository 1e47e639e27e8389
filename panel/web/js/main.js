// The page: one control per parameter, in the groups the server names, and the views, kept in
// step with the module through the event stream. Everything lives in the closure of start();
// nothing is global.

import { getJson, send, setAnswerTimeout, setReachable, subscribe } from './api.js';
import { createBanner } from './banner.js';
import { createControl } from './widgets.js';
import { createActivity, createRegisterMap, createTimingView, createTraceView } from './views.js';
import { report, wireFiles, wirePresets } from './profiles.js';

// At least this many of this tab's changes can be undone.
const UNDO_DEPTH = 20;

function byId(id) {
  return document.getElementById(id);
}

async function start() {
  // The token came in the address; the cookie carries it from here on, so it leaves the
  // address bar and the history.
  if (window.location.search) window.history.replaceState(null, '', '/');

  const banner = createBanner(byId('banner'));
  const camera = await getJson('/api/camera');
  byId('camera').textContent = `${camera.backend} · plug-in ${camera.versions.plugin} · SDK ${camera.versions.sdk}`;
  setAnswerTimeout(camera.lock_timeout_ms + 5000);

  const controls = new Map();
  const timing = createTimingView(byId('timing'), byId('timing-text'));
  const registers = createRegisterMap(byId('registers').tBodies[0]);
  const trace = createTraceView(byId('trace-title'), byId('trace'));
  const activity = createActivity(byId('activity'));
  // Sequence numbers this tab's own requests were answered with, and when each change began:
  // a change has reached the screen once its answer and its event have both been shown.
  const mine = new Set();
  const undone = new Set();
  const started = new Map();
  const shown = new Set();
  const held = new Map();
  const undo = [];
  let latest = 0;
  let live = false;
  // Whether the module answers: while its adapter is gone the controls are off, but the page
  // still talks to the panel (which looks for the module every second).
  let moduleThere = !camera.disconnected;

  function finish(seq) {
    if (started.has(seq) && shown.has(seq)) {
      performance.measure('change-to-screen', { start: started.get(seq), end: performance.now() });
      started.delete(seq);
    }
  }
  function claim(seq, isUndo) {
    mine.add(seq);
    if (isUndo) undone.add(seq);
    activity.claim(seq, isUndo);
  }

  // --- Undo: the value (or the settings) each change of this tab replaced.
  const undoButton = byId('undo');
  function showUndo() {
    const top = undo[undo.length - 1];
    undoButton.disabled = !top || !live || !moduleThere;
    undoButton.textContent = top ? `Undo ${top.label}` : 'Undo';
    byId('undo-note').textContent = undo.length > 1 ? `${undo.length} changes can be undone` : '';
  }
  function remember(entry) {
    undo.push(entry);
    while (undo.length > UNDO_DEPTH) undo.shift();
    showUndo();
  }
  // What to send to put a parameter back: its value, or the text of one JSON cannot hold.
  function earlier(parameter) {
    const entry = held.get(parameter.name);
    if (!entry) return null;
    const value = entry.current.reason === 'write-only' ? entry.written : entry.current;
    if (!value || value.reason === 'error') return null;
    return { value: value.value === null ? value.text : value.value, text: value.text, force: value.value === null };
  }

  async function apply(parameter, value, isUndo = false) {
    const before = isUndo ? null : earlier(parameter);
    const begin = performance.now();
    const body = { value };
    if (isUndo && typeof value === 'string') body.force = true;
    const answer = await send('PUT', `/api/parameters/${encodeURIComponent(parameter.name)}`, body);
    const seq = answer.body.seq;
    if (seq !== undefined) {
      claim(seq, isUndo);
      started.set(seq, begin);
    }
    const control = controls.get(parameter.name);
    control.showResult(answer);
    if (answer.ok && before) {
      remember({ label: `${parameter.name} (back to ${before.text})`, run: () => apply(parameter, before.value, true) });
    }
    if (answer.unanswered) {
      // What the module holds may have changed all the same: the line above says the request
      // failed, the control says what is there now.
      try {
        const entry = await getJson(`/api/parameters/${encodeURIComponent(parameter.name)}`);
        // Unless an event told of a later state meanwhile.
        if (entry.seq >= latest) control.show(entry, entry.seq);
      } catch {
        // The banner tells that the panel is gone; the control keeps its last known value.
      }
    }
    if (seq !== undefined) finish(seq);
  }

  // Settings before a profile, a preset or a reset, to be written back by undo.
  let saved = null;
  async function beforeChange() {
    saved = null;
    try {
      saved = JSON.stringify(await getJson('/api/profile'));
    } catch {
      saved = null;
    }
  }
  function changedWhole(answer, kind) {
    if (answer.body.seq !== undefined) claim(answer.body.seq, kind === 'undo');
    if (answer.ok && saved && kind !== 'calibration') {
      const settings = saved;
      remember({
        label: kind === 'reset' ? 'reset to power-on' : `${kind} (back to the settings before it)`,
        run: async () => {
          const back = await send('PUT', '/api/profile?force=1', settings, 'application/json');
          report(byId('files-result'), back, 'settings before it written back');
          changedWhole(back, 'undo');
        },
      });
    }
    saved = null;
  }
  undoButton.addEventListener('click', async () => {
    const top = undo.pop();
    showUndo();
    if (top) await top.run();
  });

  function showParameters(entries, seq) {
    for (const entry of entries) {
      held.set(entry.name, entry);
      const control = controls.get(entry.name);
      if (control) control.show(entry, seq);
    }
  }

  function onChange(event) {
    if (event.seq <= latest) return;
    // A gap means missed events: everything is read again.
    if (event.seq > latest + 1 && latest !== 0) reload();
    latest = event.seq;
    moduleEvent(event);
    showParameters(event.parameters, event.seq);
    // A reset or a profile moves everything: no line of an earlier change stays.
    const whole = event.kind === 'reset' || event.kind === 'profile' || event.reset;
    for (const control of controls.values()) {
      if (whole && event.ok) control.clearResult(); else control.age(event.seq);
    }
    timing.show(event.timing);
    registers.mark(event.changed_fields);
    if (event.kind !== 'external') trace.show(event);
    activity.add(event, mine.has(event.seq), undone.has(event.seq));
    shown.add(event.seq);
    if (shown.size > 256) shown.delete(shown.values().next().value);
    finish(event.seq);
  }

  // --- Groups and the filter.
  const groups = new Map();
  function buildControls(list) {
    const container = byId('controls');
    for (const name of list.groups) {
      const details = document.createElement('details');
      details.className = 'group';
      details.open = true;
      details.id = `group-${name.replaceAll(' ', '-')}`;
      const summary = document.createElement('summary');
      summary.textContent = name;
      details.append(summary);
      container.append(details);
      groups.set(name, details);
    }
    for (const parameter of list.parameters) {
      const control = createControl(parameter, { sensor: camera.sensor, onApply: (p, v) => apply(p, v) });
      controls.set(parameter.name, control);
      groups.get(parameter.group).append(control.element);
    }
  }
  const filter = byId('filter');
  const changedOnly = byId('registers-changed');
  function narrow() {
    const query = filter.value.trim();
    for (const control of controls.values()) control.element.hidden = !control.matches(query);
    for (const details of groups.values()) {
      details.hidden = ![...details.querySelectorAll('.control')].some((c) => !c.hidden);
      // A filter opens the groups it finds something in.
      if (query && !details.hidden) details.open = true;
    }
    registers.filter(query, changedOnly.checked);
  }
  filter.addEventListener('input', narrow);
  changedOnly.addEventListener('change', narrow);
  document.addEventListener('keydown', (event) => {
    const typing = event.target.closest && event.target.closest('input, select, textarea');
    if (event.key === '/' && !typing) {
      event.preventDefault();
      filter.focus();
    } else if (event.key === 'Escape' && event.target === filter) {
      filter.value = '';
      narrow();
    }
  });

  // --- Raw writes, past the plug-in: off at every load, on only by the switch.
  const allow = byId('raw-allow');
  const raw = byId('raw-write');
  allow.checked = false;
  const rawEnabled = () => { raw.disabled = !allow.checked || !live; };
  allow.addEventListener('change', rawEnabled);
  byId('raw-send').addEventListener('click', async () => {
    const kind = byId('raw-kind').value;
    const target = byId('raw-target').value.trim();
    const value = Number(byId('raw-value').value.trim());
    const where = kind === 'register' ? `/api/registers/${encodeURIComponent(target)}` : `/api/fields/${encodeURIComponent(target)}`;
    const answer = await send('PUT', where, { value: Number.isInteger(value) && value >= 0 ? value : byId('raw-value').value });
    report(byId('raw-result'), answer, `${kind} ${target} written`);
    if (answer.body.seq !== undefined) claim(answer.body.seq, false);
  });

  // Everything from the server, as after a reconnect where events may have been missed.
  async function reload() {
    const [list, fields, timingNow] = await Promise.all([
      getJson('/api/parameters'), getJson('/api/fields'), getJson('/api/timing'),
    ]);
    if (controls.size === 0) buildControls(list);
    if (list.seq >= latest) showParameters(list.parameters, list.seq);
    latest = Math.max(latest, list.seq);
    registers.fill(fields.fields);
    narrow();
    timing.show(timingNow);
  }

  wireFiles({ canReset: camera.can_reset, beforeChange, onChange: changedWhole });
  const presets = wirePresets({ beforeChange, onChange: changedWhole });

  // --- The connection: while it is down every control is off and nothing is sent.
  const connection = byId('connection');
  function setLive(up) {
    live = up;
    setReachable(up);
    for (const set of document.querySelectorAll('fieldset.live')) set.disabled = !up || !moduleThere;
    rawEnabled();
    showUndo();
  }

  // --- The module going away and coming back, and a restore of what it held.
  function restoreOffer(state, text) {
    const detail = document.createElement('span');
    detail.append(`${text} `);
    const button = document.createElement('button');
    button.type = 'button';
    button.id = 'restore';
    button.textContent = 'Write the settings back';
    button.addEventListener('click', async () => {
      button.disabled = true;
      const answer = await send('POST', '/api/restore');
      if (answer.ok) claim(answer.body.seq, false);
      else banner.show(state, `Not written back: ${answer.body.error.message}`);
    });
    detail.append(button);
    banner.show(state, detail);
  }
  function moduleEvent(event) {
    if (event.kind === 'disconnected') {
      moduleThere = false;
      setLive(live);
      banner.show('module-disconnected', `${event.error.message}. The controls are off until it is back; the panel looks for it every second.`);
    } else if (event.kind === 'reconnected' || event.kind === 'restore') {
      moduleThere = true;
      setLive(live);
      reload();
      const { restored, lost } = event.action;
      if (event.action.restore_failed) {
        restoreOffer('module-settings-lost', `Writing its settings back failed: ${event.action.restore_failed}`);
      } else if (restored) {
        banner.show('module-reconnected', `Its settings were written back (${event.trace.length} transactions, in the activity).`);
      } else if (lost.length > 0) {
        restoreOffer('module-settings-lost', `It no longer holds ${lost.join(', ')}.`);
      } else {
        banner.show('module-reconnected');
      }
    } else if (event.kind === 'external' && event.reset) {
      restoreOffer('module-at-power-on', 'Every field holds its power-on value.');
    }
  }
  let everOpen = false;
  subscribe({
    onOpen: async () => {
      const now = await getJson('/api/camera');
      moduleThere = !now.disconnected;
      camera.disconnected = now.disconnected;
      // Nothing of a module that is gone is read: it is all read once it is back.
      await Promise.all([moduleThere ? reload() : null, presets.reload()]);
      setLive(true);
      connection.textContent = 'live: changes from every tab show here';
      connection.classList.add('live');
      if (!moduleThere) banner.show('module-disconnected', `${camera.disconnected}. The controls are off until it is back.`);
      else if (everOpen) banner.show('reconnected'); else banner.clear();
      everOpen = true;
      document.body.dataset.ready = 'true';
      performance.mark('panel-ready');
    },
    onChange,
    onClosed: () => {
      setLive(false);
      connection.textContent = 'not connected';
      connection.classList.remove('live');
      if (banner.state !== 'gone') banner.show('down');
    },
    onGone: () => {
      setLive(false);
      connection.textContent = 'not connected: the address no longer works';
      banner.show('gone');
    },
  });
}

start().catch((error) => {
  byId('camera').textContent = `The panel could not start: ${error.message}`;
});
