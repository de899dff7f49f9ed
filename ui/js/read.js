// Defensive readers for what arrives from the plug-in. Announcements are
// trusted to be well-formed, but a page must never break on one that is not:
// each reader answers a safe value of its kind or undefined.

export const isObject = (v) => typeof v === 'object' && v !== null && !Array.isArray(v);

// A finite number, or undefined.
export const num = (v) => (typeof v === 'number' && Number.isFinite(v) ? v : undefined);

// A string, cut to `max` characters, or undefined.
export const str = (v, max = 4096) => (typeof v === 'string' ? v.slice(0, max) : undefined);

export const bool = (v) => (typeof v === 'boolean' ? v : undefined);

// An object, or an empty one.
export const obj = (v) => (isObject(v) ? v : {});

// An array of at most `max` elements (the last ones when `tail`), or an empty one.
export function arr(v, max = 1024, tail = false) {
  if (!Array.isArray(v)) return [];
  if (v.length <= max) return v;
  return tail ? v.slice(v.length - max) : v.slice(0, max);
}
