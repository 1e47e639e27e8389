// The line at the top of the page that says what state the connection is in. One banner for
// every such state (the panel's server gone or back, a module disconnected or reconnected):
// a state names its tone, its title and what to do, and may clear itself.

const STATES = {
  down: { tone: 'bad', title: 'Not connected.', detail: 'The panel\'s server does not answer; the controls are off until it does, and nothing is sent or queued meanwhile.' },
  reconnected: { tone: 'good', title: 'Reconnected.', detail: 'Every value was read again from the module.', clearAfter: 5000 },
  gone: { tone: 'bad', title: 'This address no longer works.', detail: 'The panel was restarted with a new token: open the URL that vexar-ctl serve printed on its first line.' },
  'module-disconnected': { tone: 'bad', title: 'Module disconnected.', detail: 'The controls are off until it is back.' },
  'module-reconnected': { tone: 'good', title: 'Module reconnected.', detail: 'Every value was read again from the module.', clearAfter: 5000 },
  'module-settings-lost': { tone: 'bad', title: 'Module reconnected without its settings.', detail: 'It no longer holds what it held before.' },
  'module-at-power-on': { tone: 'bad', title: 'The module is back at power-on.', detail: 'Every field holds its power-on value: it was reset or lost its power.' },
};

export function createBanner(element) {
  let timer = null;
  let current = null;
  return {
    // A state of STATES by name; detail replaces its default text.
    show(name, detail) {
      const state = STATES[name];
      clearTimeout(timer);
      current = name;
      element.dataset.state = name;
      element.className = `banner ${state.tone}`;
      const title = document.createElement('strong');
      title.textContent = state.title;
      element.replaceChildren(title, detail || state.detail);
      element.hidden = false;
      if (state.clearAfter) timer = setTimeout(() => this.clear(), state.clearAfter);
    },
    clear() {
      clearTimeout(timer);
      current = null;
      element.hidden = true;
      delete element.dataset.state;
      element.replaceChildren();
    },
    get state() {
      return current;
    },
  };
}
