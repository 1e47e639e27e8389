// Profiles, calibration, reset and presets: files in and out, each upload applied whole or
// refused with the reason for every bad entry; a reset only once confirmed in the page.

import { getJson, send } from './api.js';
import { previewThenApply } from './preview.js';

function byId(id) {
  return document.getElementById(id);
}

export function report(target, answer, done) {
  target.replaceChildren();
  const line = document.createElement('p');
  if (answer.ok) {
    line.className = 'ok';
    line.textContent = answer.body.seq === undefined ? done : `${done} (#${answer.body.seq})`;
    target.append(line);
    return;
  }
  const error = answer.body.error || {};
  line.className = 'refused';
  line.textContent = `${answer.unanswered ? 'failed' : 'refused'}: ${error.message}`;
  target.append(line);
  if (error.entries) {
    const list = document.createElement('ul');
    for (const entry of error.entries) {
      const item = document.createElement('li');
      item.textContent = entry.name ? `${entry.name}: ${entry.reason}` : entry.reason;
      list.append(item);
    }
    target.append(list);
  }
}

// beforeChange(kind) runs before a profile, a preset or a reset is written, so that the
// settings it replaces can be undone; onChange(answer, kind) after.
export function wireFiles({ canReset, beforeChange, onChange }) {
  const result = byId('files-result');
  const profileInput = byId('profile-upload');
  const calibrationInput = byId('calibration-upload');

  // One file's text to the module, after its preview; the one path every profile upload takes.
  async function applyProfile(text, shown) {
    const force = byId('profile-force').checked;
    const answer = await previewThenApply({ text, force, title: shown, beforeApply: () => beforeChange('profile') });
    if (!answer) return;
    report(result, answer, `profile ${shown} applied`);
    onChange(answer, 'profile');
  }
  profileInput.addEventListener('change', async () => {
    const [file] = profileInput.files;
    if (!file) return;
    const text = await file.text();
    profileInput.value = '';
    await applyProfile(text, file.name);
  });
  calibrationInput.addEventListener('change', async () => {
    const [file] = calibrationInput.files;
    if (!file) return;
    const bytes = new Uint8Array(await file.arrayBuffer());
    // A file that begins with "{" is the JSON form, as vexar-ctl calib write decides.
    const text = new TextDecoder().decode(bytes.slice(0, 64)).trimStart();
    const type = text.startsWith('{') ? 'application/json' : 'application/octet-stream';
    const answer = await send('PUT', '/api/calibration', type === 'application/json' ? new TextDecoder().decode(bytes) : bytes, type);
    calibrationInput.value = '';
    report(result, answer, `calibration ${file.name} written`);
    onChange(answer, 'calibration');
  });

  const resetButton = byId('reset');
  const confirm = byId('reset-confirm');
  resetButton.hidden = !canReset;
  function closeConfirm() {
    confirm.hidden = true;
    resetButton.focus();
  }
  resetButton.addEventListener('click', () => {
    confirm.hidden = false;
    byId('reset-no').focus();
  });
  byId('reset-no').addEventListener('click', closeConfirm);
  confirm.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') closeConfirm();
  });
  byId('reset-yes').addEventListener('click', async () => {
    confirm.hidden = true;
    resetButton.focus();
    await beforeChange('reset');
    const answer = await send('POST', '/api/reset');
    report(result, answer, 'reset to power-on');
    onChange(answer, 'reset');
  });
}

// The presets of $XDG_CONFIG_HOME/vexar/presets, as the server's library lists them.
export function wirePresets({ beforeChange, onChange }) {
  const list = byId('presets');
  const result = byId('preset-result');
  const nameInput = byId('preset-name');
  const path = (name) => `/api/presets/${encodeURIComponent(name)}`;

  function button(text, label, action) {
    const element = document.createElement('button');
    element.type = 'button';
    element.textContent = text;
    element.setAttribute('aria-label', label);
    element.addEventListener('click', action);
    return element;
  }
  function showDifferences(body) {
    result.replaceChildren();
    const title = document.createElement('p');
    title.textContent = body.differences.length === 0
      ? `preset ${body.name} holds what the module holds now`
      : `preset ${body.name} differs from the module in ${body.differences.length}:`;
    result.append(title);
    if (body.differences.length === 0) return;
    const table = document.createElement('table');
    table.className = 'diff';
    const head = table.createTHead().insertRow();
    for (const text of ['parameter', 'in the preset', 'in the module now']) {
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = text;
      head.append(th);
    }
    const tbody = table.createTBody();
    for (const difference of body.differences) {
      const row = tbody.insertRow();
      for (const text of [difference.name, difference.preset ? difference.preset.text : '(left out)',
        difference.module ? difference.module.text : '(unknown)']) {
        row.insertCell().textContent = text;
      }
    }
    result.append(table);
  }
  function fill(names) {
    list.replaceChildren(...names.map((name) => {
      const item = document.createElement('li');
      const shown = document.createElement('span');
      shown.className = 'preset-name';
      shown.textContent = name;
      item.append(shown,
        button('Load', `load preset ${name}`, async () => {
          // Previewed first, as an upload is.
          const answer = await previewThenApply({
            preset: name, force: byId('profile-force').checked, title: `preset ${name}`,
            beforeApply: () => beforeChange('preset'),
          });
          if (!answer) return;
          report(result, answer, `preset ${name} loaded`);
          onChange(answer, 'preset');
        }),
        button('Compare', `compare preset ${name} with the module`, async () => {
          const answer = await send('GET', path(name));
          if (answer.ok) showDifferences(answer.body); else report(result, answer, '');
        }),
        button('Delete', `delete preset ${name}`, async () => {
          const answer = await send('DELETE', path(name));
          report(result, answer, `preset ${name} deleted`);
          if (answer.ok) fill(answer.body.presets);
        }));
      return item;
    }));
  }
  byId('preset-save').addEventListener('click', async () => {
    const name = nameInput.value.trim();
    if (!name) {
      report(result, { ok: false, body: { error: { message: 'give the preset a name first' } } }, '');
      nameInput.focus();
      return;
    }
    const answer = await send('PUT', path(name), {});
    report(result, answer, `preset ${name} saved`);
    if (answer.ok) fill(answer.body.presets);
  });
  nameInput.addEventListener('keydown', (event) => {
    if (event.key === 'Enter') byId('preset-save').click();
  });
  return {
    async reload() {
      fill((await getJson('/api/presets')).presets);
    },
  };
}
