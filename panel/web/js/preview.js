// What a profile or a preset would do, shown before it is written: the values, the fields that
// would change and the bus transactions, with Apply and Cancel. Apply writes the previewed
// write by its number; when the module changed in between, the panel refuses it with a fresh
// preview, which is shown in its place.

import { send } from './api.js';

function hex(number) {
  return `0x${number.toString(16)}`;
}

function section(title, lines) {
  const part = document.createElement('section');
  const heading = document.createElement('h3');
  heading.textContent = title;
  const list = document.createElement('ul');
  for (const line of lines) {
    const item = document.createElement('li');
    item.textContent = line;
    list.append(item);
  }
  part.append(heading, list);
  return part;
}

function draw(dialog, title, shown, note) {
  const writes = shown.transactions.filter((t) => !t.includes(' r')).length;
  const heading = document.createElement('h2');
  heading.textContent = `Preview: ${title}`;
  const summary = document.createElement('p');
  summary.id = 'preview-summary';
  summary.textContent = `nothing written yet; ${shown.fields.length} fields would change, ` +
    `${shown.transactions.length} transactions (${writes} writes)`;
  const parts = [heading];
  if (note) {
    const stale = document.createElement('p');
    stale.className = 'refused';
    stale.textContent = note;
    parts.push(stale);
  }
  parts.push(summary);
  const values = Object.entries(shown.parameters).map(([name, value]) => `${name} = ${JSON.stringify(value)}`);
  parts.push(section('The module would hold', values));
  if (shown.changed.length) {
    parts.push(section('Also moved', shown.changed.map((c) => `${c.name}: ${JSON.stringify(c.before)} → ${JSON.stringify(c.after)}`)));
  }
  parts.push(section('Fields that would change', shown.fields.map((f) =>
    `${f.name || `field ${f.index}`} (${hex(f.address)} bits ${f.lsb}-${f.msb}): ${hex(f.was)} → ${hex(f.will_be)}`)));
  const trace = document.createElement('details');
  const label = document.createElement('summary');
  label.textContent = 'Bus transactions';
  const listing = document.createElement('pre');
  listing.textContent = shown.transactions.join('\n');
  trace.append(label, listing);
  parts.push(trace);
  const apply = document.createElement('button');
  apply.id = 'preview-apply';
  apply.textContent = 'Apply';
  apply.value = 'apply';
  const cancel = document.createElement('button');
  cancel.id = 'preview-cancel';
  cancel.textContent = 'Cancel';
  cancel.value = 'cancel';
  const buttons = document.createElement('form');
  buttons.method = 'dialog';
  buttons.append(apply, cancel);
  parts.push(buttons);
  dialog.replaceChildren(...parts);
  apply.focus();
}

function choice(dialog) {
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => resolve(dialog.returnValue), { once: true });
  });
}

// Previews the profile text (or the preset named) and, once Apply is chosen, writes it.
// Answers the write's {ok, status, body}, the preview's refusal, or null when cancelled.
// beforeApply runs once Apply is chosen, before anything is written (the undo's note).
export async function previewThenApply({ text = '', preset = '', force = false, title, beforeApply = async () => {} }) {
  const query = new URLSearchParams();
  if (preset) query.set('preset', preset);
  if (force) query.set('force', '1');
  let answer = await send('POST', `/api/profile/preview?${query}`, text, 'application/json');
  if (!answer.ok) return answer;
  const dialog = document.createElement('dialog');
  dialog.id = 'preview';
  document.body.append(dialog);
  let note = '';
  try {
    for (;;) {
      draw(dialog, title, answer.body, note);
      dialog.showModal();
      if ((await choice(dialog)) !== 'apply') return null;
      await beforeApply();
      const written = await send('PUT', `/api/profile?preview=${answer.body.preview}`, '', 'application/json');
      if (written.ok || !written.body.preview) return written;
      note = `${written.body.error.message}: here it is again`;
      answer = { ok: true, body: written.body.preview };
    }
  } finally {
    dialog.remove();
  }
}
