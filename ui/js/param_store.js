// The current value of every parameter, as the normalized value the host
// holds, and who wants to hear when one moves (knobs, pictures). Values
// change from the page's own gestures and from the plug-in's announcements.
import { PARAMS, normalize, paramByPath, toPlain } from './params.js';

export class ParamStore {
  constructor() {
    this.values = new Map(PARAMS.map((desc) => [desc.path, normalize(desc, desc.def)]));
    this.listeners = new Set();
  }

  normalizedOf(path) {
    return this.values.get(path);
  }

  plainOf(path) {
    const desc = paramByPath(path);
    return desc ? toPlain(desc, this.values.get(path)) : undefined;
  }

  // Sets a normalized value (clamped); listeners hear of real changes only.
  set(path, normalized, origin) {
    if (!this.values.has(path) || !Number.isFinite(normalized)) return;
    const value = Math.min(1, Math.max(0, normalized));
    if (this.values.get(path) === value) return;
    this.values.set(path, value);
    for (const listener of this.listeners) listener(path, origin);
  }

  subscribe(listener) {
    this.listeners.add(listener);
    return () => this.listeners.delete(listener);
  }
}
