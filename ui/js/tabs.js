// The editor's pages (synth, CC map, bank, diagnostics) as an ARIA tab list:
// click or arrow keys to switch, Home/End for the first and last. Views can
// hear when they are shown or hidden (the diagnostics view subscribes to its
// feeds only while it is open).
export class Tabs {
  constructor(tablist) {
    this.tabs = [...tablist.querySelectorAll('[role="tab"]')];
    this.listeners = new Map();
    this.current = this.tabs.find((tab) => tab.getAttribute('aria-selected') === 'true') ?? this.tabs[0];
    for (const tab of this.tabs) {
      tab.addEventListener('click', () => this.select(tab, true));
      tab.addEventListener('keydown', (e) => this.onKey(e, tab));
    }
    this.select(this.current, false);
  }

  panelOf(tab) {
    return document.getElementById(tab.getAttribute('aria-controls'));
  }

  // listener(shown) for the tab whose panel has id `panelId`.
  onToggle(panelId, listener) {
    this.listeners.set(panelId, listener);
  }

  select(tab, focus) {
    const previous = this.current;
    for (const other of this.tabs) {
      const selected = other === tab;
      other.setAttribute('aria-selected', String(selected));
      other.tabIndex = selected ? 0 : -1;
      this.panelOf(other).hidden = !selected;
    }
    this.current = tab;
    if (focus) tab.focus();
    if (previous !== tab) this.listeners.get(this.panelOf(previous).id)?.(false);
    this.listeners.get(this.panelOf(tab).id)?.(true);
  }

  onKey(e, tab) {
    const i = this.tabs.indexOf(tab);
    const n = this.tabs.length;
    const target = { ArrowRight: (i + 1) % n, ArrowLeft: (i - 1 + n) % n, Home: 0, End: n - 1 }[e.key];
    if (target === undefined) return;
    e.preventDefault();
    this.select(this.tabs[target], true);
  }
}
