// The page's side of the bridge. The plug-in's web view installs
// window.orbelHost before any of the page's scripts run: postMessage sends
// one message object to the controller, onMessage registers a handler for
// its announcements. Opened in a plain browser there is no bridge: the page
// still works as a preview and sends nothing.

export function connectHost(win = window) {
  const bridge = win.orbelHost;
  const connected = !!bridge && typeof bridge.postMessage === 'function';
  return {
    connected,
    send(message) {
      if (!connected) return false;
      try {
        bridge.postMessage(message);
        return true;
      } catch (error) {
        console.warn('Mirel editor: a message could not be sent', error);
        return false;
      }
    },
    listen(handler) {
      if (connected && typeof bridge.onMessage === 'function') bridge.onMessage(handler);
    },
  };
}
