// The page: one control per parameter and the views, kept in step with the module through the
// event stream. Everything lives in the closure of start(); nothing is global.

import { getJson, send, subscribe } from './api.js';
import { createControl } from './widgets.js';
import { createActivity, createRegisterMap, createTimingView, createTraceView } from './views.js';
import { wireFiles } from './profiles.js';

function byId(id) {
  return document.getElementById(id);
}

async function start() {
  // The token came in the address; the cookie carries it from here on, so it leaves the
  // address bar and the history.
  if (window.location.search) window.history.replaceState(null, '', '/');

  const camera = await getJson('/api/camera');
  byId('camera').textContent = `${camera.backend} · plug-in ${camera.versions.plugin} · SDK ${camera.versions.sdk}`;

  const controls = new Map();
  const timing = createTimingView(byId('timing'), byId('timing-text'));
  const registers = createRegisterMap(byId('registers').tBodies[0]);
  const trace = createTraceView(byId('trace-title'), byId('trace'));
  const activity = createActivity(byId('activity'));
  // Sequence numbers this tab's own requests were answered with, and when each change began:
  // a change has reached the screen once its answer and its event have both been shown.
  const mine = new Set();
  const started = new Map();
  const shown = new Set();
  let latest = 0;

  function finish(seq) {
    if (started.has(seq) && shown.has(seq)) {
      performance.measure('change-to-screen', { start: started.get(seq), end: performance.now() });
      started.delete(seq);
    }
  }

  async function apply(parameter, value) {
    const begin = performance.now();
    const answer = await send('PUT', `/api/parameters/${encodeURIComponent(parameter.name)}`, { value });
    const seq = answer.body.seq;
    if (seq !== undefined) {
      mine.add(seq);
      activity.claim(seq);
      started.set(seq, begin);
    }
    controls.get(parameter.name).showResult(answer);
    if (seq !== undefined) finish(seq);
  }

  function showParameters(entries) {
    for (const entry of entries) {
      const control = controls.get(entry.name);
      if (control) control.show(entry);
    }
  }

  function onChange(event) {
    if (event.seq <= latest) return;
    latest = event.seq;
    showParameters(event.parameters);
    timing.show(event.timing);
    registers.mark(event.changed_fields);
    if (event.kind !== 'external') trace.show(event);
    activity.add(event, mine.has(event.seq));
    shown.add(event.seq);
    if (shown.size > 256) shown.delete(shown.values().next().value);
    finish(event.seq);
  }

  // Everything from the server, as after a reconnect where events may have been missed.
  async function reload() {
    const [list, fields, timingNow] = await Promise.all([
      getJson('/api/parameters'), getJson('/api/fields'), getJson('/api/timing'),
    ]);
    if (controls.size === 0) {
      const container = byId('controls');
      for (const parameter of list.parameters) {
        const control = createControl(parameter, { sensor: camera.sensor, onApply: apply });
        controls.set(parameter.name, control);
        container.append(control.element);
      }
    }
    if (list.seq >= latest) showParameters(list.parameters);
    latest = Math.max(latest, list.seq);
    registers.fill(fields.fields);
    timing.show(timingNow);
  }

  wireFiles({
    profileInput: byId('profile-upload'),
    profileForce: byId('profile-force'),
    calibrationInput: byId('calibration-upload'),
    resetButton: byId('reset'),
    result: byId('files-result'),
    canReset: camera.can_reset,
    onChange: (answer) => {
      if (answer.body.seq === undefined) return;
      mine.add(answer.body.seq);
      activity.claim(answer.body.seq);
    },
  });

  const connection = byId('connection');
  subscribe({
    onOpen: async () => {
      await reload();
      connection.textContent = 'live: changes from every tab show here';
      connection.classList.add('live');
      document.body.dataset.ready = 'true';
      performance.mark('panel-ready');
    },
    onChange,
    onClosed: () => {
      connection.textContent = 'connection lost; reconnecting…';
      connection.classList.remove('live');
    },
  });
}

start().catch((error) => {
  byId('camera').textContent = `The panel could not start: ${error.message}`;
});
