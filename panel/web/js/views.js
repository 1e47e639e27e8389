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

// What a field is called: the description's name, or its place.
export function fieldName(field) {
  return field.name || `field ${field.index} of register ${field.address}`;
}

// The map, narrowed by the filter (name, or the register's address: 0x183, or 387) and, when
// asked, to the fields not at their power-on value.
export function createRegisterMap(body) {
  const rows = new Map();
  let query = '';
  let changedOnly = false;

  function matches(field) {
    if (changedOnly && field.value === field.reset) return false;
    if (!query) return true;
    const q = query.toLowerCase();
    const number = Number(q);
    const address = parseInt(field.address, 16);
    return fieldName(field).toLowerCase().includes(q) || (Number.isInteger(number) && number === address);
  }
  function narrow() {
    for (const { row, field } of rows.values()) row.hidden = !matches(field);
  }
  function showValue(entry) {
    entry.row.querySelector('.value').textContent = hex(entry.field.value);
  }
  return {
    fill(fields) {
      body.replaceChildren();
      rows.clear();
      for (const field of fields) {
        const row = document.createElement('tr');
        row.dataset.index = String(field.index);
        row.dataset.address = field.address;
        cell(row, fieldName(field));
        cell(row, field.address);
        cell(row, field.msb === field.lsb ? `[${field.lsb}]` : `[${field.msb}:${field.lsb}]`);
        cell(row, hex(field.value), 'value');
        cell(row, hex(field.reset), 'reset');
        const entry = { row, field: { ...field } };
        rows.set(field.index, entry);
        body.append(row);
      }
      narrow();
    },
    // Marks what the last action changed, and only that.
    mark(changed) {
      for (const row of body.querySelectorAll('tr.changed')) {
        row.classList.remove('changed');
        row.querySelector('.value').removeAttribute('aria-label');
      }
      for (const field of changed) {
        const entry = rows.get(field.index);
        if (!entry) continue;
        entry.field.value = field.value;
        showValue(entry);
        entry.row.querySelector('.value').setAttribute('aria-label', `${hex(field.value)}, changed from ${hex(field.was)}`);
        entry.row.classList.add('changed');
      }
      narrow();
    },
    filter(text, onlyChanged) {
      query = text.trim();
      changedOnly = onlyChanged;
      narrow();
    },
  };
}

function actionTitle(event) {
  const action = event.action || {};
  switch (event.kind) {
    case 'set': return `set ${action.name} = ${action.requested ? action.requested.text : ''}`;
    case 'profile': return action.preset ? `preset ${action.preset} loaded (${action.members} members)` : `profile applied (${action.members} members)`;
    case 'reset': return 'reset to power-on';
    case 'calibration': return `calibration written (${action.format})`;
    case 'external': return event.reset ? 'module reset to power-on' : 'changed by another process';
    case 'disconnected': return 'module disconnected';
    case 'reconnected': return action.restored ? 'module reconnected, its settings written back' : 'module reconnected';
    case 'restore': return 'settings written back';
    case 'register': return `raw write: register ${action.address} = ${hex(action.value)}`;
    case 'field': return `raw write: ${action.name || `field ${action.index}`} = ${hex(action.value)}`;
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

// The raw writes' transactions are listed with them, since they went past the plug-in; a
// restore's too, since nobody on the page asked for its writes.
function listsTrace(event) {
  return event.kind === 'register' || event.kind === 'field' ||
    ((event.kind === 'reconnected' || event.kind === 'restore') && event.trace.length > 0);
}

export function createActivity(list, limit = 50) {
  const items = new Map();
  const line = (entry, who) => {
    const { event } = entry;
    let text = `#${event.seq} ${entry.undo ? 'undo: ' : ''}${actionTitle(event)} (${who})${event.ok ? '' : ': refused'}`;
    if (listsTrace(event)) text += `, ${event.trace.length} transactions`;
    if (event.reset && event.kind !== 'external') text += ' · every field is back at power-on';
    return text;
  };
  return {
    add(event, mine, undo = false) {
      const item = document.createElement('li');
      const who = mine ? 'this tab' : (event.kind === 'external' ? 'another process' : 'another tab');
      const entry = { item, event, who, undo };
      item.textContent = line(entry, who);
      item.dataset.seq = String(event.seq);
      list.prepend(item);
      items.set(event.seq, entry);
      if (listsTrace(event)) {
        const trace = document.createElement('ol');
        trace.className = 'mono';
        for (const transaction of event.trace) {
          const step = document.createElement('li');
          step.textContent = transaction.text;
          trace.append(step);
        }
        item.append(trace);
      }
      while (list.children.length > limit) {
        items.delete(Number(list.lastElementChild.dataset.seq));
        list.lastElementChild.remove();
      }
    },
    // The event of a change can arrive before the answer to the request that made it.
    claim(seq, undo = false) {
      const entry = items.get(seq);
      if (!entry) return;
      entry.who = 'this tab';
      entry.undo = entry.undo || undo;
      entry.item.firstChild.textContent = line(entry, 'this tab');
    },
  };
}
