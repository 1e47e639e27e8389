// The views that follow every change: the timing drawing, the register map, the bus trace of
// the last action and the activity list.

function cell(row, text, className) {
  const td = document.createElement('td');
  td.textContent = text;
  if (className) td.className = className;
  row.append(td);
  return td;
}

const hex = (value) => `0x${Number(value).toString(16)}`;

export function createTimingView(figure, textBlock) {
  const parser = new DOMParser();
  return {
    // The server's one drawing, as it is: the same bytes a report gets from vexar-ctl.
    show(timing) {
      const drawing = parser.parseFromString(timing.svg, 'image/svg+xml').documentElement;
      figure.replaceChildren(document.importNode(drawing, true));
      textBlock.textContent = timing.text;
    },
  };
}

export function createRegisterMap(body) {
  const rows = new Map();
  return {
    fill(fields) {
      body.replaceChildren();
      rows.clear();
      for (const field of fields) {
        const row = document.createElement('tr');
        row.dataset.index = String(field.index);
        cell(row, field.name || `#${field.index}`);
        cell(row, field.address);
        cell(row, field.msb === field.lsb ? `[${field.lsb}]` : `[${field.msb}:${field.lsb}]`);
        cell(row, hex(field.value), 'value');
        cell(row, hex(field.reset), 'reset');
        rows.set(field.index, row);
        body.append(row);
      }
    },
    // Marks what the last action changed, and only that.
    mark(changed) {
      for (const row of body.querySelectorAll('tr.changed')) {
        row.classList.remove('changed');
        row.querySelector('.value').removeAttribute('aria-label');
      }
      for (const field of changed) {
        const row = rows.get(field.index);
        if (!row) continue;
        const value = row.querySelector('.value');
        value.textContent = hex(field.value);
        value.setAttribute('aria-label', `${hex(field.value)}, changed from ${hex(field.was)}`);
        row.classList.add('changed');
      }
    },
  };
}

function actionTitle(event) {
  const action = event.action || {};
  switch (event.kind) {
    case 'set': return `set ${action.name} = ${action.requested ? action.requested.text : ''}`;
    case 'profile': return `profile applied (${action.members} members)`;
    case 'reset': return 'reset to power-on';
    case 'calibration': return `calibration written (${action.format})`;
    case 'external': return 'changed by another process';
    default: return event.kind;
  }
}

export function createTraceView(title, list) {
  return {
    show(event) {
      const outcome = event.ok ? '' : ` — refused: ${event.error.message}`;
      title.textContent = `#${event.seq} ${actionTitle(event)}: ${event.trace.length} transactions${outcome}`;
      list.replaceChildren(...event.trace.map((transaction) => {
        const item = document.createElement('li');
        item.textContent = transaction.text;
        if (transaction.result !== 0) item.className = 'failed';
        return item;
      }));
    },
  };
}

export function createActivity(list, limit = 50) {
  const items = new Map();
  const line = (event, who) => `#${event.seq} ${actionTitle(event)} (${who})${event.ok ? '' : ': refused'}`;
  return {
    add(event, mine) {
      const item = document.createElement('li');
      const who = mine ? 'this tab' : (event.kind === 'external' ? 'another process' : 'another tab');
      item.textContent = line(event, who);
      list.prepend(item);
      items.set(event.seq, { item, event });
      while (list.children.length > limit) {
        items.delete(Number(list.lastElementChild.dataset.seq));
        list.lastElementChild.remove();
      }
      item.dataset.seq = String(event.seq);
    },
    // The event of a change can arrive before the answer to the request that made it.
    claim(seq) {
      const entry = items.get(seq);
      if (entry) entry.item.textContent = line(entry.event, 'this tab');
    },
  };
}
