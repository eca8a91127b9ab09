// The effect picker: every effect the library offers as a thumbnail that plays it (a strip of
// frames drawn by the engine, stepped through by CSS), filtered by name.

export function thumb(effect) {
  const div = document.createElement('div');
  div.className = 'thumb';
  if (effect) div.style.backgroundImage = `url("api/thumb/${effect}")`;
  return div;
}

export class EffectPicker {
  constructor(panel, grid, filter, effects, onPick) {
    Object.assign(this, { panel, grid, filter, effects, onPick });
    filter.addEventListener('input', () => this.list());
  }

  open(which, current) {
    this.which = which;
    this.current = current;
    this.panel.hidden = false;
    this.list();
    this.filter.focus();
  }

  close() { this.panel.hidden = true; }

  list() {
    const words = this.filter.value.toLowerCase();
    const shown = [{ id: '', name: 'none', group: '' }, ...this.effects]
      .filter((e) => !words || `${e.id} ${e.name} ${e.group}`.toLowerCase().includes(words));
    this.grid.replaceChildren(...shown.map((e) => {
      const button = document.createElement('button');
      button.dataset.effect = e.id;
      button.title = e.id || 'no effect';
      if (e.id === this.current) button.classList.add('active');
      button.append(thumb(e.id), document.createTextNode(e.name));
      button.addEventListener('click', () => {
        this.onPick(this.which, e.id);
        this.close();
      });
      return button;
    }));
  }
}
