// Routes the plug-in's announcements to the views by their "type". Anything
// that is not an object with a string type is ignored, and a handler that
// trips over a malformed body is contained: the rest of the page goes on.
import { isObject } from './read.js';

export class AnnouncementRouter {
  constructor() {
    this.handlers = new Map();
  }

  on(type, handler) {
    if (!this.handlers.has(type)) this.handlers.set(type, []);
    this.handlers.get(type).push(handler);
  }

  deliver(message) {
    if (!isObject(message) || typeof message.type !== 'string') return;
    for (const handler of this.handlers.get(message.type) ?? []) {
      try {
        handler(message);
      } catch (error) {
        console.warn(`Mirel editor: ignored part of a malformed "${message.type}"`, error);
      }
    }
  }
}
