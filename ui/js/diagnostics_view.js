// The diagnostics page: how Mirel is doing (health report in words), what
// happened to it (the lifecycle feed), what the host set up and changed,
// the host's transport, and who Mirel is (identity and build). The
// lifecycle and transport feeds are subscribed while the page is open and
// dropped when it closes.
import { el, replaceChildren } from './dom.js';
import { card, factList } from './facts.js';
import { formatShortest } from './format.js';
import { arr, bool, isObject, num, obj, str } from './read.js';
import { PHASE, SEVERITY, healthWords, hostChangeWords, lifecycleWords, processModeWords, sampleRateWords, tailWords } from './words.js';

const MAX_EVENTS = 256;
const MAX_CHANGES = 50;
const FEED_HZ = 15;

const short = (text, n) => (text && text.length > n ? `${text.slice(0, n)}…` : text);
const seconds = (ms) => (ms < 60000 ? `${(ms / 1000).toFixed(ms < 10000 ? 2 : 1)} s` : `${Math.floor(ms / 60000)} min ${Math.round((ms % 60000) / 1000)} s`);

export class DiagnosticsView {
  constructor(container, host) {
    this.host = host;
    this.open = false;
    this.identity = {};
    this.hostFacts = undefined;
    this.capabilities = {};
    this.presetState = {};
    this.health = undefined;
    this.events = new Map();
    this.dropped = 0;
    this.changes = [];
    this.transport = undefined;

    this.healthBody = el('div', { class: 'health' });
    this.eventsBody = el('ol', { class: 'events', 'aria-label': 'Lifecycle events, newest first' });
    this.eventsNote = el('p', { class: 'card-note' });
    this.liveBadge = el('span', { class: 'live-badge', hidden: true }, 'Live');
    this.hostBody = el('div');
    this.transportBody = el('div');
    this.aboutBody = el('div');
    const activity = card('Activity', 'card-activity', this.eventsNote, this.eventsBody);
    activity.querySelector('.card-title').append(this.liveBadge);
    container.append(el('div', { class: 'sheet' },
      el('div', { class: 'sheet-head' },
        el('div', {},
          el('h2', { class: 'sheet-title' }, 'Diagnostics'),
          el('p', { class: 'sheet-hint' }, 'How Mirel is doing, what the host asked of it, and what happened while this page was open.'))),
      el('div', { class: 'cards cards-columns' },
        card('Health', 'card-health', this.healthBody),
        activity,
        card('Host', 'card-host', this.hostBody),
        card('Transport', 'card-transport', this.transportBody),
        card('About this plug-in', 'card-about', this.aboutBody))));
    this.renderAll();
  }

  listen(router) {
    router.on('orbel.hello', (m) => {
      this.identity = obj(m.identity);
      this.hostFacts = isObject(m.host) ? { ...m.host } : undefined;
      this.capabilities = obj(m.diagnostics);
      this.presetState = obj(m.presetState);
      if (isObject(m.runtimeHealth)) this.health = m.runtimeHealth;
      this.renderAll();
    });
    router.on('orbel.runtimeDiagnostics', (m) => {
      if (!isObject(m.report)) return;
      this.health = m.report;
      this.renderHealth();
    });
    router.on('orbel.lifecycle', (m) => {
      for (const event of arr(m.events, MAX_EVENTS, true)) {
        if (isObject(event) && num(event.seq) !== undefined) this.events.set(event.seq, event);
      }
      const dropped = num(m.dropped);
      if (dropped !== undefined) this.dropped = dropped;
      while (this.events.size > MAX_EVENTS) this.events.delete(Math.min(...this.events.keys()));
      this.renderEvents();
    });
    router.on('orbel.hostChanged', (m) => {
      if (!isObject(m.host)) return;
      this.hostFacts = { ...(this.hostFacts ?? {}), ...m.host };
      this.changes.unshift({ event: obj(m.event), host: m.host });
      this.changes.length = Math.min(this.changes.length, MAX_CHANGES);
      this.renderHost();
    });
    router.on('orbel.transport', (m) => {
      if (!isObject(m.frame)) return;
      this.transport = m.frame;
      this.renderTransport();
    });
  }

  // Subscribes to the lifecycle and transport feeds while the page is open.
  setOpen(open) {
    if (open === this.open) return;
    this.open = open;
    this.liveBadge.hidden = !open;
    if (open) {
      this.events.clear(); // the subscription replays the whole log
      this.host.send({ type: 'orbel.diag.subscribe', feeds: ['lifecycle', 'transport'], hz: FEED_HZ });
    } else {
      this.host.send({ type: 'orbel.diag.unsubscribe' });
    }
    this.renderEvents();
    this.renderTransport();
  }

  renderAll() {
    this.renderHealth();
    this.renderEvents();
    this.renderHost();
    this.renderTransport();
    this.renderAbout();
  }

  renderHealth() {
    const report = this.health;
    if (!report) {
      replaceChildren(this.healthBody,
        el('div', { class: 'health-status', 'data-status': 'healthy' },
          el('span', { class: 'health-light', 'aria-hidden': 'true' }),
          el('div', {}, el('p', { class: 'health-label' }, 'No problems reported'),
            el('p', { class: 'health-words' }, 'Mirel has not reported anything that needs your attention.'))));
      return;
    }
    const health = healthWords(str(report.status, 20), str(report.lifecycle, 20));
    const records = arr(report.diagnostics, 64).filter(isObject);
    const counters = obj(report.counters);
    const lost = num(counters['diagnostics.dropped']) ?? 0;
    const list = el('ul', { class: 'records' });
    for (const record of records) {
      const severity = str(record.severity, 20) ?? 'error';
      const detail = str(obj(record.context).detail, 500);
      list.append(el('li', { class: 'record', 'data-severity': severity },
        el('p', { class: 'record-head' },
          el('span', { class: 'chip' }, SEVERITY[severity] ?? 'Problem'),
          ` ${PHASE[record.phase] ?? ''}`),
        el('p', { class: 'record-message' }, str(record.message, 500) || 'No message.'),
        detail ? el('p', { class: 'record-detail' }, detail) : null,
        el('p', { class: 'record-code' }, `${str(record.code, 80) ?? 'unknown'}${num(record.sequence) !== undefined ? ` · #${record.sequence}` : ''}`)));
    }
    replaceChildren(this.healthBody,
      el('div', { class: 'health-status', 'data-status': health.tone },
        el('span', { class: 'health-light', 'aria-hidden': 'true' }),
        el('div', {},
          el('p', { class: 'health-label' }, health.label),
          el('p', { class: 'health-words' }, health.words))),
      records.length ? list : el('p', { class: 'card-note' }, 'No individual problems were recorded.'),
      lost ? el('p', { class: 'card-note' }, `${lost} further report${lost === 1 ? ' was' : 's were'} lost because the list was full.`) : null);
  }

  renderEvents() {
    const events = [...this.events.values()].sort((a, b) => b.seq - a.seq);
    replaceChildren(this.eventsBody, events.map((event) => {
      const { title, detail } = lifecycleWords(event);
      const time = num(event.timeMs);
      return el('li', { class: 'event', 'data-kind': str(event.kind, 40) ?? '' },
        el('span', { class: 'event-time' }, time === undefined ? '' : seconds(time)),
        el('span', { class: 'event-title' }, title),
        detail ? el('span', { class: 'event-detail' }, detail) : null);
    }));
    this.eventsNote.textContent = !this.open
      ? 'Open this page to follow what happens.'
      : events.length === 0
        ? 'Waiting for events…'
        : this.dropped
          ? `${this.dropped} older event${this.dropped === 1 ? ' is' : 's are'} no longer kept.`
          : 'Times count from when the plug-in was created.';
  }

  renderHost() {
    const h = this.hostFacts;
    if (!h) {
      replaceChildren(this.hostBody, el('p', { class: 'card-note' }, 'The host has not set Mirel up for playing yet.'));
      return;
    }
    const buses = arr(h.buses, 8).filter(isObject).map((b) =>
      `${str(b.id, 32) ?? '?'}: ${num(b.channels) ?? '?'} ch${b.layout ? ` ${str(b.layout, 24)}` : ''}${b.active === false ? ' (off)' : ''}`);
    const changes = el('ol', { class: 'changes', 'aria-label': 'Changes since the editor opened, newest first' },
      this.changes.map(({ event, host }) => el('li', {},
        el('span', { class: 'event-title' }, lifecycleWords({ kind: event.kind }).title.replace(/^Event$/, 'Changed')),
        el('span', { class: 'event-detail' }, hostChangeWords(host).join(', ')))));
    replaceChildren(this.hostBody,
      factList([
        ['Host', [str(h.hostName, 128), str(h.hostVersion, 64)].filter(Boolean).join(' ')],
        ['Validator', str(h.validatorHost, 40)],
        ['Sample rate', num(h.sampleRate) === undefined ? 'not set' : sampleRateWords(h.sampleRate)],
        ['Blocks', num(h.maxBlockFrames) === undefined ? undefined : `up to ${h.maxBlockFrames} samples${num(h.lastBlockFrames) !== undefined ? ` (last ${h.lastBlockFrames})` : ''}`],
        ['Processing', typeof h.processMode === 'string' ? `${processModeWords(h.processMode)}, ${num(h.sampleSize) ?? 32}-bit` : undefined],
        ['Latency', num(h.latencySamples) === undefined ? undefined : `${h.latencySamples} samples`],
        ['Tail', h.tailSamples === undefined ? undefined : tailWords(h.tailSamples)],
        ['Internal rate', num(h.internalSampleRate) === undefined ? undefined : sampleRateWords(h.internalSampleRate)],
        ['Outputs', buses.join(' · ')],
        ['Bypass', bool(h.bypassed) === undefined ? undefined : h.bypassed ? 'bypassed' : 'off'],
      ]),
      this.changes.length ? el('h4', { class: 'card-subtitle' }, 'Changes') : null,
      this.changes.length ? changes : null);
  }

  renderTransport() {
    const frame = this.transport;
    if (!this.open || !frame) {
      replaceChildren(this.transportBody, el('p', { class: 'card-note' }, this.open
        ? 'The host has not reported its transport yet. Press play in the host to see it here.'
        : 'Shown while this page is open.'));
      return;
    }
    const state = obj(frame.state);
    const caps = obj(frame.capabilities);
    const signature = obj(state.timeSignature);
    const numerator = num(signature.numerator);
    const denominator = num(signature.denominator);
    let position;
    const ppq = num(state.ppqPosition);
    const bar = num(state.barPositionPpq);
    if (caps.position !== false && ppq !== undefined && numerator && denominator) {
      const beat = 4 / denominator;
      const barNumber = bar === undefined ? undefined : Math.round(bar / (numerator * beat)) + 1;
      const beatNumber = bar === undefined ? undefined : Math.floor((ppq - bar) / beat) + 1;
      position = barNumber === undefined ? `${formatShortest(ppq)} beats` : `bar ${barNumber}, beat ${beatNumber}`;
    }
    const playing = state.playing === true;
    replaceChildren(this.transportBody,
      el('p', { class: `transport-state ${playing ? 'is-playing' : ''}` },
        el('span', { class: 'transport-light', 'aria-hidden': 'true' }),
        playing ? (state.recording === true ? 'Recording' : 'Playing') : 'Stopped',
        state.looping === true ? ' · looping' : ''),
      factList([
        ['Tempo', caps.tempo === false || num(state.tempo) === undefined ? undefined : `${formatShortest(Math.round(state.tempo * 100) / 100)} BPM`],
        ['Time signature', caps.timeSignature === false || !numerator ? undefined : `${numerator}/${denominator}`],
        ['Position', position],
        ['Loop', caps.loop && num(state.loopStartPpq) !== undefined ? `${formatShortest(state.loopStartPpq)} – ${formatShortest(num(state.loopEndPpq) ?? 0)} beats` : undefined],
        ['Source', str(frame.source, 20)],
      ]));
  }

  renderAbout() {
    const id = this.identity;
    const build = obj(id.build);
    const ui = obj(id.ui);
    const ports = arr(id.ports, 16).filter(isObject).map((p) =>
      `${p.kind === 'midi' ? 'MIDI' : 'audio'} ${p.direction === 'input' ? 'in' : 'out'}${num(p.channels) ? ` (${p.channels} ch)` : ''}`);
    const feeds = arr(this.capabilities.feeds, 16).filter((f) => typeof f === 'string');
    const preset = this.presetState;
    const presetName = str(preset.currentName, 96) || str(preset.currentId, 96);
    replaceChildren(this.aboutBody, factList([
      ['Plug-in', [str(id.name, 64), str(id.version, 32)].filter(Boolean).join(' ') || undefined],
      ['Maker', str(id.vendor, 64)],
      ['Identifier', str(id.moduleId, 128)],
      ['Format', id.target ? `${String(str(id.target, 16)).toUpperCase()}${id.sdkVersion ? ` (SDK ${str(id.sdkVersion, 16)})` : ''}` : undefined],
      ['Build', [str(build.mode, 32), str(build.configuration, 32)].filter(Boolean).join(', ') || undefined],
      ['Editor page', ui.buildTime || ui.sourceRevision ? [str(ui.buildTime, 64), short(str(ui.sourceRevision, 64), 12)].filter(Boolean).join(' · ') : undefined],
      ['Page checksum', short(str(ui.sha256, 80), 16)],
      ['Sample rates', obj(id.ratePolicy).mode === 'host-native' ? "plays at the host's rate" : str(obj(id.ratePolicy).mode, 40)],
      ['Connections', ports.join(', ')],
      ['State', num(obj(id.state).maxBytes) ? `up to ${Math.round(obj(id.state).maxBytes / 1024)} KB` : undefined],
      ['Extra feeds', feeds.length ? feeds.join(', ') : 'none beyond activity and transport'],
      ['Preset', presetName ? `${presetName}${preset.dirty === true ? ' (edited)' : ''}` : undefined],
      ['Last state', num(preset.lastStateBytes) === undefined ? undefined : `${preset.lastStateBytes} bytes`],
    ]));
  }
}
