// Profiles, calibration and reset: files in and out, each upload applied whole or refused
// with the reason for every bad entry.

import { send } from './api.js';
import { previewThenApply } from './preview.js';

function report(target, answer, done) {
  target.replaceChildren();
  const line = document.createElement('p');
  if (answer.ok) {
    line.className = 'ok';
    line.textContent = `${done} (#${answer.body.seq})`;
    target.append(line);
    return;
  }
  const error = answer.body.error || {};
  line.className = 'refused';
  line.textContent = `refused: ${error.message}`;
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

export function wireFiles({ profileInput, profileForce, calibrationInput, resetButton, result, canReset, onChange }) {
  profileInput.addEventListener('change', async () => {
    const [file] = profileInput.files;
    if (!file) return;
    const answer = await previewThenApply({ text: await file.text(), force: profileForce.checked, title: file.name });
    profileInput.value = '';
    if (!answer) return;
    report(result, answer, `profile ${file.name} applied`);
    onChange(answer);
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
    onChange(answer);
  });
  resetButton.hidden = !canReset;
  resetButton.addEventListener('click', async () => {
    const answer = await send('POST', '/api/reset', {});
    report(result, answer, 'reset to power-on');
    onChange(answer);
  });
}
