// The region of interest: four numbers, and the rectangle they make on the sensor, which the
// pointer drags (inside) and resizes (by its corner) and the arrow keys move (Shift: resize),
// snapping to the advertised steps. Each is written once it comes to rest.

const SVG = 'http://www.w3.org/2000/svg';
const FIELDS = ['x', 'y', 'width', 'height'];
const REST_MS = 250;

function svgElement(name, attributes) {
  const element = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  return element;
}

// The nearest value the range allows, counted in its steps from its minimum.
function snap(value, range) {
  if (!range) return Math.round(value);
  const step = range.step || 1;
  const stepped = range.min + Math.round((value - range.min) / step) * step;
  return Math.min(range.max, Math.max(range.min, stepped));
}

export function createRegionEditor({ id, name, bounds, sensor, onApply }) {
  const element = document.createElement('div');
  const inputs = {};
  const grid = document.createElement('div');
  grid.className = 'region-inputs';
  let shown = null;
  let rest = null;
  for (const field of FIELDS) {
    const label = document.createElement('label');
    label.textContent = field;
    const input = document.createElement('input');
    input.type = 'number';
    input.id = `${id}-${field}`;
    input.name = field;
    input.setAttribute('aria-label', `${name} ${field} (pixels)`);
    const range = bounds ? bounds[field] : null;
    if (range) input.step = String(range.step);
    input.addEventListener('input', () => draw(read()));
    input.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') onApply(read());
      if (event.key === 'Escape' && shown) fill(shown);
    });
    label.append(input);
    grid.append(label);
    inputs[field] = input;
  }
  const apply = document.createElement('button');
  apply.type = 'button';
  apply.textContent = 'Apply region';
  apply.id = `${id}-apply`;
  apply.addEventListener('click', () => onApply(read()));

  const picture = svgElement('svg', {
    class: 'sensor',
    id: `${id}-sensor`,
    viewBox: `0 0 ${sensor.width} ${sensor.height}`,
    role: 'slider',
    tabindex: '0',
    'aria-roledescription': 'region on the sensor',
  });
  picture.append(svgElement('rect', { class: 'ground', x: 0, y: 0, width: sensor.width, height: sensor.height }));
  const held = svgElement('rect', { class: 'held' });
  const edited = svgElement('rect', { class: 'edited' });
  const handle = svgElement('rect', { class: 'handle', width: 12, height: 12 });
  picture.append(held, edited, handle);
  const hint = document.createElement('p');
  hint.className = 'meta';
  hint.textContent = 'Drag the rectangle or its corner, or focus it and use the arrow keys (Shift: resize).';
  element.append(grid, apply, picture, hint);

  function read() {
    const region = {};
    for (const field of FIELDS) region[field] = Number(inputs[field].value);
    return region;
  }
  function fill(region) {
    for (const field of FIELDS) inputs[field].value = String(region[field]);
    draw(region);
  }
  function place(rect, region) {
    for (const field of FIELDS) rect.setAttribute(field, String(Math.max(0, region[field])));
  }
  function draw(region) {
    place(edited, region);
    handle.setAttribute('x', String(region.x + region.width - 12));
    handle.setAttribute('y', String(region.y + region.height - 12));
    const text = `${region.x},${region.y} ${region.width} by ${region.height} on the ${sensor.width} by ${sensor.height} sensor`;
    picture.setAttribute('aria-label', `${name}: ${text}`);
    picture.setAttribute('aria-valuetext', text);
  }
  function snapped(region) {
    const out = {};
    for (const field of FIELDS) out[field] = snap(region[field], bounds ? bounds[field] : null);
    return out;
  }
  function later() {
    clearTimeout(rest);
    rest = setTimeout(() => onApply(read()), REST_MS);
  }

  // Pointer: the offset from where the drag began, in sensor pixels, snapped as it goes.
  let drag = null;
  function sensorPoint(event) {
    const box = picture.getBoundingClientRect();
    return { x: (event.clientX - box.left) * (sensor.width / box.width), y: (event.clientY - box.top) * (sensor.height / box.height) };
  }
  picture.addEventListener('pointerdown', (event) => {
    const resizing = event.target === handle;
    if (!resizing && event.target !== edited) return;
    drag = { resizing, from: sensorPoint(event), start: read() };
    picture.setPointerCapture(event.pointerId);
    event.preventDefault();
  });
  picture.addEventListener('pointermove', (event) => {
    if (!drag) return;
    const at = sensorPoint(event);
    const dx = at.x - drag.from.x;
    const dy = at.y - drag.from.y;
    const next = { ...drag.start };
    if (drag.resizing) {
      next.width += dx;
      next.height += dy;
    } else {
      next.x += dx;
      next.y += dy;
    }
    fill(snapped(next));
  });
  picture.addEventListener('pointerup', () => {
    if (!drag) return;
    drag = null;
    onApply(read());
  });
  picture.addEventListener('keydown', (event) => {
    const moves = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
    if (event.key === 'Escape' && shown) {
      clearTimeout(rest);
      fill(shown);
      return;
    }
    const move = moves[event.key];
    if (!move) return;
    event.preventDefault();
    const region = read();
    const [a, b] = event.shiftKey ? ['width', 'height'] : ['x', 'y'];
    const stepOf = (field) => (bounds && bounds[field] ? bounds[field].step || 1 : 1);
    region[a] += move[0] * stepOf(a);
    region[b] += move[1] * stepOf(b);
    fill(snapped(region));
    later();
  });

  return {
    element,
    focusTarget: inputs.x,
    // The region the module holds; the inputs follow unless one of them is being edited.
    show(region) {
      shown = region;
      place(held, region);
      if (!drag && !grid.contains(document.activeElement)) fill(region);
    },
  };
}
