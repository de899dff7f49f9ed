// Keeps the knobs where the plug-in says the parameters are: the hello's
// parameter list and every "orbel.paramChanged" (host automation, presets,
// state recall). The normalized value is what the host holds, so it wins
// over the plain value when both are usable. Values for a control in the
// middle of a gesture are left to the edit session to judge.
import { normalize, paramByPath } from './params.js';
import { arr, isObject, num } from './read.js';

export function syncParams(router, store, session) {
  const apply = (entry) => {
    if (!isObject(entry)) return;
    const desc = paramByPath(entry.path);
    if (!desc) return;
    let normalized = num(entry.normalized);
    if (normalized === undefined || normalized < 0 || normalized > 1) {
      const plain = num(entry.value);
      if (plain === undefined) return;
      normalized = normalize(desc, plain);
    }
    if (session.acceptsRemote(desc.path, normalized)) store.set(desc.path, normalized, 'host');
  };
  router.on('orbel.hello', (message) => arr(message.params, 64).forEach(apply));
  router.on('orbel.paramChanged', apply);
}
