// The editor page: builds the views, connects them to the plug-in through
// window.orbelHost, announces itself with "orbel.ready" and draws what the
// hello reports.
import { AnnouncementRouter } from './announcements.js';
import { BankView } from './bank_view.js';
import { CcMapView } from './cc_map_view.js';
import { DiagnosticsView } from './diagnostics_view.js';
import { EditSession } from './edit_session.js';
import { connectHost } from './host.js';
import { ParamStore } from './param_store.js';
import { syncParams } from './param_sync.js';
import { obj, str } from './read.js';
import { Status } from './status.js';
import { buildSynthView } from './synth_view.js';
import { Tabs } from './tabs.js';

const READY_RETRY_MS = 1500;
const READY_ATTEMPTS = 5;

const host = connectHost();
const router = new AnnouncementRouter();
const store = new ParamStore();
const session = new EditSession(host, store);
const status = new Status(document.getElementById('link'), document.getElementById('notice'));

buildSynthView(document.getElementById('panel-synth'), store, session);
const ccMap = new CcMapView(document.getElementById('panel-cc'), host);
const bank = new BankView(document.getElementById('panel-bank'), host, status);
const diagnostics = new DiagnosticsView(document.getElementById('panel-diag'), host);

const tabs = new Tabs(document.getElementById('tabs'));
tabs.onToggle('panel-diag', (shown) => diagnostics.setOpen(shown));
tabs.onToggle('panel-bank', (shown) => bank.setOpen(shown));

syncParams(router, store, session);
ccMap.listen(router);
bank.listen(router);
diagnostics.listen(router);

let greeted = false;
router.on('orbel.hello', (message) => {
  greeted = true;
  const plugin = obj(message.plugin);
  const name = str(plugin.name, 64) || 'Mirel';
  const version = str(plugin.version, 32);
  status.set('connected', version ? `${name} ${version}` : name);
});

// A gesture must not stay open when the page goes away under the hand.
window.addEventListener('pagehide', () => {
  session.endAll();
  diagnostics.setOpen(false);
});

if (host.connected) {
  host.listen((message) => router.deliver(message));
  status.set('waiting', 'Connecting…');
  let attempts = 0;
  const greet = () => {
    if (greeted || attempts >= READY_ATTEMPTS) {
      if (!greeted) status.set('waiting', 'No answer from the plug-in');
      return;
    }
    attempts += 1;
    host.send({ type: 'orbel.ready' });
    setTimeout(greet, READY_RETRY_MS);
  };
  greet();
} else {
  status.set('preview', 'Preview: not connected');
}
