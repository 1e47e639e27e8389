// One control per parameter, chosen by its type, access and range. Every control shows the
// value as the module holds it (its text, never the widget's clamped idea of it).

import { createRegionEditor } from './region.js';

function make(tag, attributes = {}, text = '') {
  const element = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  if (text) element.textContent = text;
  return element;
}

function describe(parameter) {
  const parts = [parameter.type];
  if (parameter.unit && parameter.unit !== 'none') parts.push(parameter.unit);
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

function numberInputs(id, range, apply) {
  const inputs = make('div', { class: 'inputs' });
  const field = make('input', { type: 'text', inputmode: 'decimal', id, autocomplete: 'off' });
  let slider = null;
  if (range && 'min' in range) {
    slider = make('input', {
      type: 'range', min: String(range.min), max: String(range.max), step: String(range.step),
      'aria-label': `${id} slider, step ${range.step}`,
    });
    slider.addEventListener('input', () => { field.value = slider.value; });
    slider.addEventListener('change', () => apply(Number(slider.value)));
    inputs.append(slider);
  }
  field.addEventListener('change', () => {
    if (field.value.trim() !== '') apply(typed(field.value));
  });
  inputs.append(field);
  if (range && 'step' in range) inputs.append(make('span', { class: 'meta' }, `step ${range.step}`));
  return {
    inputs,
    focusTarget: field,
    show(current) {
      if (document.activeElement !== field) field.value = current.text;
      if (slider && current.value !== null) slider.value = String(current.value);
    },
  };
}

function choiceInput(id, range, apply) {
  const inputs = make('div', { class: 'inputs' });
  const select = make('select', { id });
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

function switchInput(id, apply) {
  const inputs = make('div', { class: 'inputs' });
  const box = make('input', { type: 'checkbox', role: 'switch', id });
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
      id, sensor, bounds: parameter.range, onApply: apply,
    });
    label.setAttribute('for', `${id}-x`);
    element.append(widget.element);
  } else if (parameter.type === 'bool') {
    widget = switchInput(id, apply);
  } else if (parameter.range && 'values' in parameter.range) {
    widget = choiceInput(id, parameter.range, apply);
  } else {
    widget = numberInputs(id, parameter.range, apply);
  }
  if (widget && widget.inputs) element.append(widget.inputs);
  if (widget && widget.focusTarget) widget.focusTarget.setAttribute('aria-describedby', `${id}-meta ${id}-result`);
  current.append(make('span', { class: 'held' }), ' ', outside);
  element.append(current, result);

  return {
    element,
    name: parameter.name,
    // The value the module holds now, from a read-back or an event.
    show(entry) {
      const held = entry.current;
      let text = `holds ${held.text}`;
      if (held.reason === 'write-only') {
        text = entry.written ? `write-only; last written here: ${entry.written.text}` : 'write-only: cannot be read back';
      } else if (held.reason === 'error') {
        text = `cannot be read: ${held.error}`;
      }
      current.querySelector('.held').textContent = text;
      outside.hidden = !entry.outside_range;
      if (widget && held.reason !== 'write-only' && held.reason !== 'error') {
        widget.show(parameter.type === 'region' ? held.value : held);
      }
    },
    // What a change of this control did: requested → applied, or the refusal and what is
    // allowed.
    showResult(answer) {
      result.classList.toggle('refused', !answer.ok);
      if (answer.ok) {
        const body = answer.body;
        let text = `requested ${valueText(body.requested)} → applied ${body.applied ? body.applied.text : '(write-only, not read back)'}`;
        if (body.outside_range) text += ' · outside the advertised range';
        result.textContent = text;
      } else {
        const error = answer.body.error || {};
        let text = `refused: ${error.message || answer.status}`;
        if (error.allowed) text += ` · allowed: ${error.allowed}`;
        result.textContent = text;
      }
    },
    focus() {
      if (widget && widget.focusTarget) widget.focusTarget.focus();
    },
  };
}
