// Parameter gestures as the host must see them: "orbel.beginEdit" before
// the first change, "orbel.setParam" for every change, "orbel.endEdit" when
// the hand lets go, so host automation records the whole movement.
//
// While a gesture runs, announcements about its parameter are not applied:
// the control under the user's hand must not be yanked back by its own
// echo or by a value the host sent before it heard of the gesture. For a
// short while after the gesture, an announcement that repeats one of the
// values the gesture sent is still taken as its echo.
import { normalize, paramByPath } from './params.js';

const ECHO_GRACE_MS = 500;
const REMEMBERED_VALUES = 64;

export class EditSession {
  constructor(host, store, clock = () => performance.now()) {
    this.host = host;
    this.store = store;
    this.clock = clock;
    this.active = new Map(); // path -> values sent (normalized)
    this.recent = new Map(); // path -> { until, sent }
  }

  isEditing(path) {
    return this.active.has(path);
  }

  // Sends a plain value, opening the gesture if needed.
  set(path, plain) {
    const desc = paramByPath(path);
    if (!desc || !Number.isFinite(plain)) return;
    if (!this.active.has(path)) {
      this.host.send({ type: 'orbel.beginEdit', path });
      this.active.set(path, []);
      this.recent.delete(path);
    }
    const sent = this.active.get(path);
    const normalized = normalize(desc, plain);
    sent.push(normalized);
    if (sent.length > REMEMBERED_VALUES) sent.shift();
    this.host.send({ type: 'orbel.setParam', path, value: plain });
    this.store.set(path, normalized, 'page');
  }

  // Closes the gesture on `path`; nothing happens when none is open.
  end(path) {
    const sent = this.active.get(path);
    if (!sent) return;
    this.active.delete(path);
    this.recent.set(path, { until: this.clock() + ECHO_GRACE_MS, sent });
    this.host.send({ type: 'orbel.endEdit', path });
  }

  endAll() {
    for (const path of [...this.active.keys()]) this.end(path);
  }

  // Whether an announced value should move the control now.
  acceptsRemote(path, normalized) {
    if (this.active.has(path)) return false;
    const recent = this.recent.get(path);
    if (!recent) return true;
    if (this.clock() >= recent.until) {
      this.recent.delete(path);
      return true;
    }
    return !recent.sent.some((value) => Math.abs(value - normalized) < 1e-12);
  }
}
