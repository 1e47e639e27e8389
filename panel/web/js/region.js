// The region of interest: four numbers, and the rectangle they make on the sensor.

const SVG = 'http://www.w3.org/2000/svg';
const FIELDS = ['x', 'y', 'width', 'height'];

function svgElement(name, attributes) {
  const element = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  return element;
}

export function createRegionEditor({ id, bounds, sensor, onApply }) {
  const element = document.createElement('div');
  const inputs = {};
  const grid = document.createElement('div');
  grid.className = 'region-inputs';
  for (const field of FIELDS) {
    const label = document.createElement('label');
    label.textContent = field;
    const input = document.createElement('input');
    input.type = 'number';
    input.id = `${id}-${field}`;
    input.name = field;
    const range = bounds ? bounds[field] : null;
    if (range) input.step = String(range.step);
    input.addEventListener('input', () => draw(read()));
    input.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') onApply(read());
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
    viewBox: `0 0 ${sensor.width} ${sensor.height}`,
    role: 'img',
  });
  picture.append(svgElement('rect', {
    x: 0, y: 0, width: sensor.width, height: sensor.height, fill: '#f3f5f8', stroke: '#1a1a1a',
  }));
  const held = svgElement('rect', { class: 'held', fill: 'none', stroke: '#2f6db5', 'stroke-width': 2 });
  const edited = svgElement('rect', {
    class: 'edited', fill: 'rgba(47,109,181,0.15)', stroke: '#8a4b00', 'stroke-dasharray': '4 3',
  });
  picture.append(held, edited);
  element.append(grid, apply, picture);

  function read() {
    const region = {};
    for (const field of FIELDS) region[field] = Number(inputs[field].value);
    return region;
  }
  function place(rect, region) {
    for (const field of FIELDS) rect.setAttribute(field, String(Math.max(0, region[field])));
  }
  function draw(region) {
    place(edited, region);
    picture.setAttribute('aria-label',
      `region ${region.x},${region.y} ${region.width} by ${region.height} on the ${sensor.width} by ${sensor.height} sensor`);
  }

  return {
    element,
    focusTarget: inputs.x,
    // The region the module holds; the inputs follow unless one of them is being edited.
    show(region) {
      place(held, region);
      if (!element.contains(document.activeElement)) {
        for (const field of FIELDS) inputs[field].value = String(region[field]);
        draw(region);
      }
    },
  };
}
