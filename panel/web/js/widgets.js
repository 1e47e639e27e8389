// One control per parameter, chosen by its type, access and range. Every control shows the
// value as the module holds it (its text, never the widget's clamped idea of it), and a widget
// shows no position it does not know.

import { createRegionEditor } from './region.js';

// A slider or a region written by keys is written once they rest this long.
export const REST_MS = 250;

function make(tag, attributes = {}, text = '') {
  const element = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  if (text) element.textContent = text;
  return element;
}

function hasUnit(parameter) {
  return parameter.unit && parameter.unit !== 'none';
}

// What a screen reader says for the control: the parameter's name, with its unit.
export function accessibleName(parameter) {
  return hasUnit(parameter) ? `${parameter.name} (${parameter.unit})` : parameter.name;
}

function describe(parameter) {
  const parts = [parameter.type];
  if (hasUnit(parameter)) parts.push(parameter.unit);
  parts.push(parameter.access);
  if (parameter.state_only) parts.push('written with the current settings');
  if (parameter.range) parts.push(parameter.range.text);
  return parts.join(' · ');
}

// The value to send for what a person typed: numbers as numbers, anything else ("nan",
// "0x10") as text, which the server reads the way vexar-ctl does.
function typed(text) {
  const trimmed = text.trim();
  return trimmed !== '' && Number.isFinite(Number(trimmed)) ? Number(trimmed) : trimmed;
}

// Text and slider. The text applies on Enter only; Escape, or leaving it, puts back what the
// module holds. The slider writes once it comes to rest and shows the value pending till then.
function numberInputs(parameter, id, range, apply) {
  const name = accessibleName(parameter);
  const inputs = make('div', { class: 'inputs' });
  const field = make('input', { type: 'text', inputmode: 'decimal', id, autocomplete: 'off', 'aria-label': name });
  const note = make('span', { class: 'note', id: `${id}-note` });
  let slider = null;
  let shownText = '';
  let pending = null;
  let rest = null;
  let dragging = false;

  function commit() {
    clearTimeout(rest);
    if (pending === null) return;
    const value = Number(pending);
    pending = null;
    note.textContent = '';
    apply(value);
  }
  if (range && 'min' in range) {
    slider = make('input', {
      type: 'range', min: String(range.min), max: String(range.max), step: String(range.step),
      'aria-label': name, 'aria-describedby': `${id}-note`,
    });
    slider.addEventListener('pointerdown', () => { dragging = true; });
    slider.addEventListener('pointerup', () => { dragging = false; commit(); });
    slider.addEventListener('input', () => {
      pending = slider.value;
      slider.classList.remove('unknown');
      slider.removeAttribute('aria-valuetext');
      field.value = pending;
      note.textContent = `pending: ${pending}, not written yet`;
      note.classList.add('pending');
      clearTimeout(rest);
      if (!dragging) rest = setTimeout(commit, REST_MS);
    });
    inputs.append(slider);
  }
  field.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && field.value.trim() !== '') {
      apply(typed(field.value));
    } else if (event.key === 'Escape') {
      field.value = shownText;
    }
  });
  field.addEventListener('blur', () => { field.value = shownText; });
  inputs.append(field);
  if (range && 'step' in range) inputs.append(make('span', { class: 'meta' }, `step ${range.step}`));
  inputs.append(note);

  function noPosition(why) {
    if (!slider) return;
    slider.classList.add('unknown');
    slider.setAttribute('aria-valuetext', why);
    note.classList.remove('pending');
    note.textContent = why;
  }
  function position(value, text) {
    if (!slider) return;
    slider.classList.remove('unknown');
    slider.value = String(value);
    slider.setAttribute('aria-valuetext', text);
    note.classList.remove('pending');
    note.textContent = '';
  }
  return {
    inputs,
    focusTarget: field,
    show(current, written) {
      let value = current.value;
      shownText = current.text;
      if (current.reason === 'write-only') {
        value = written ? written.value : null;
        shownText = written ? written.text : '';
        field.placeholder = written ? '' : 'unknown';
      }
      if (document.activeElement !== field) field.value = shownText;
      if (pending !== null) return;
      if (current.reason === 'write-only') {
        if (value === null) {
          noPosition(written ? `last written here: ${written.text}; no position on the slider` : 'never written from this panel: no position known');
        } else {
          position(value, `${written.text}, written here, not read back`);
          note.textContent = 'written here, not read back';
        }
      } else if (value === null) {
        noPosition(`${current.text}: no position on the slider`);
      } else {
        position(value, current.text);
      }
    },
  };
}

function choiceInput(parameter, id, range, apply) {
  const inputs = make('div', { class: 'inputs' });
  const select = make('select', { id, 'aria-label': accessibleName(parameter) });
  for (const value of range.values) select.append(make('option', { value: String(value) }, String(value)));
  select.addEventListener('change', () => apply(Number(select.value)));
  inputs.append(select);
  return {
    inputs,
    focusTarget: select,
    show(current) {
      const text = current.text;
      // A value outside the set still shows as it is, as an extra choice marked so.
      let option = [...select.options].find((o) => o.value === text);
      for (const extra of select.querySelectorAll('option.foreign')) if (extra !== option) extra.remove();
      if (!option) {
        option = make('option', { value: text, class: 'foreign' }, `${text} (not in the set)`);
        select.append(option);
      }
      select.value = text;
    },
  };
}

function switchInput(parameter, id, apply) {
  const inputs = make('div', { class: 'inputs' });
  const box = make('input', { type: 'checkbox', role: 'switch', id, 'aria-label': accessibleName(parameter) });
  box.addEventListener('change', () => apply(box.checked));
  const state = make('span', { class: 'current' });
  inputs.append(box, state);
  return {
    inputs,
    focusTarget: box,
    show(current) {
      box.checked = current.value === true;
      box.setAttribute('aria-checked', String(box.checked));
      state.textContent = current.text;
    },
  };
}

function valueText(value) {
  return value ? value.text : '—';
}

export function createControl(parameter, { sensor, onApply }) {
  const id = `p-${parameter.name}`;
  const element = make('div', { class: 'control', id: `control-${parameter.name}`, 'data-name': parameter.name });
  const head = make('div', { class: 'head' });
  const label = make('label', { class: 'name', for: id }, parameter.name);
  const meta = make('span', { class: 'meta', id: `${id}-meta` }, describe(parameter));
  head.append(label, meta);
  element.append(head);

  const current = make('div', { class: 'current', id: `${id}-current` });
  const outside = make('span', { class: 'outside-mark', hidden: '' }, 'outside range');
  const result = make('div', { class: 'result', id: `${id}-result`, role: 'status', 'aria-live': 'polite' });
  const apply = (value) => onApply(parameter, value);

  let widget = null;
  const writable = parameter.access !== 'read-only';
  if (!writable) {
    label.removeAttribute('for');
    label.id = id;
    current.setAttribute('aria-labelledby', id);
  } else if (parameter.type === 'region') {
    widget = createRegionEditor({
      id, name: parameter.name, sensor, bounds: parameter.range, onApply: apply,
    });
    label.setAttribute('for', `${id}-x`);
    element.append(widget.element);
  } else if (parameter.type === 'bool') {
    widget = switchInput(parameter, id, apply);
  } else if (parameter.range && 'values' in parameter.range) {
    widget = choiceInput(parameter, id, parameter.range, apply);
  } else {
    widget = numberInputs(parameter, id, parameter.range, apply);
  }
  if (widget && widget.inputs) element.append(widget.inputs);
  if (widget && widget.focusTarget) widget.focusTarget.setAttribute('aria-describedby', `${id}-meta ${id}-result`);
  current.append(make('span', { class: 'held' }), ' ', outside);
  element.append(current, result);

  // The last change of this control, while its line is shown: its number, what the module held
  // after it, and the line itself.
  let last = null;
  let heldText = null;

  function render(latest) {
    if (!last) return;
    if (last.stale) {
      const ago = latest - last.seq;
      result.textContent = `earlier, ${ago} ${ago === 1 ? 'change' : 'changes'} ago: ${last.text}`;
    } else {
      result.textContent = last.text;
    }
    result.classList.toggle('stale', last.stale);
  }

  return {
    element,
    name: parameter.name,
    group: parameter.group,
    // The value the module holds now, from a read-back or an event numbered seq.
    show(entry, seq = 0) {
      const held = entry.current;
      let text = `holds ${held.text}`;
      if (held.reason === 'write-only') {
        text = entry.written ? `write-only; last written here: ${entry.written.text} (not read back)` : 'write-only: cannot be read back, never written from this panel';
      } else if (held.reason === 'error') {
        text = `cannot be read: ${held.error}`;
      }
      const moved = heldText !== null && text !== heldText;
      heldText = text;
      current.querySelector('.held').textContent = text;
      outside.hidden = !entry.outside_range;
      if (widget && held.reason !== 'error') {
        if (parameter.type === 'region') {
          if (held.value) widget.show(held.value);
        } else {
          widget.show(held, entry.written);
        }
      }
      // Another change moved what this control's line spoke of: the line is of an earlier time.
      if (moved && last && !last.stale && seq > last.seq) {
        last.stale = true;
        render(seq);
      }
    },
    // What a change of this control did: requested → applied, what the module made of it,
    // or the refusal with what is allowed (once).
    showResult(answer) {
      const body = answer.body;
      result.classList.toggle('refused', !answer.ok);
      let line;
      if (answer.ok) {
        line = `requested ${valueText(body.requested)} → applied ${body.applied ? body.applied.text : '(write-only, not read back)'}`;
        if (body.applied && body.requested && body.applied.text !== body.requested.text) {
          line += ` · the module holds ${body.applied.text}, not the ${body.requested.text} asked`;
        }
        if (body.outside_range) line += ' · outside the advertised range';
      } else {
        const error = body.error || {};
        line = `${answer.unanswered ? 'failed' : 'refused'}: ${error.message || answer.status}`;
        if (error.allowed && !line.includes(error.allowed)) line += ` · allowed: ${error.allowed}`;
      }
      last = { seq: body.seq === undefined ? Infinity : body.seq, text: line, stale: false };
      render(last.seq);
    },
    // The count of later changes on a line of an earlier time.
    age(latest) {
      if (last && last.stale) render(latest);
    },
    clearResult() {
      last = null;
      result.textContent = '';
      result.classList.remove('refused', 'stale');
    },
    matches(query) {
      if (!query) return true;
      const q = query.toLowerCase();
      const number = Number(q);
      return parameter.name.toLowerCase().includes(q) ||
        (q !== '' && Number.isInteger(number) && number === parameter.id);
    },
    focus() {
      if (widget && widget.focusTarget) widget.focusTarget.focus();
    },
  };
}
