// What the plug-in's reports mean, in words a musician can read: health,
// diagnostic records, lifecycle events, host facts and bank errors.
import { formatShortest } from './format.js';
import { isObject, num, str } from './read.js';

// The health report's status in words; a failed set-up ("lifecycle":
// "failed") is worse than an error recorded while set up.
export function healthWords(status, lifecycle) {
  if (status === 'healthy') return { tone: 'healthy', label: 'All good', words: 'Everything is working normally.' };
  if (status === 'failed' && lifecycle === 'failed') {
    return { tone: 'failed', label: 'Not playing', words: "Mirel could not start processing audio with the host's settings. The notes below say why." };
  }
  if (status === 'failed') return { tone: 'failed', label: 'Something failed', words: 'Mirel is set up and playing, but an error was recorded. The notes below say what.' };
  return { tone: 'degraded', label: 'Needs attention', words: 'Mirel is playing, but reported warnings. The notes below say what.' };
}

export const SEVERITY = { info: 'Note', warning: 'Warning', error: 'Error', fatal: 'Fatal' };

export const PHASE = {
  build: 'while building', package: 'while packaging', install: 'while installing', scan: 'while the host scanned',
  load: 'while loading', configure: 'while setting up', activate: 'while switching on', process: 'while playing',
  preset: 'while loading a preset or bank', state: 'while saving or restoring', editor: 'in the editor', shutdown: 'while closing',
};

const bytes = (n) => (n === undefined ? '' : n >= 1024 ? `${(n / 1024).toFixed(1)} KB` : `${n} bytes`);
const hz = (n) => (n === undefined ? 'unknown' : n >= 1000 ? `${formatShortest(n / 1000)} kHz` : `${formatShortest(n)} Hz`);
export const sampleRateWords = hz;

const PROCESS_MODES = { realtime: 'live', offline: 'offline (bouncing)', prefetch: 'prefetch' };
export const processModeWords = (mode) => PROCESS_MODES[mode] ?? (typeof mode === 'number' ? PROCESS_MODES[['realtime', 'offline', 'prefetch'][mode]] : undefined) ?? String(mode);

// A lifecycle event in words: { title, detail }.
export function lifecycleWords(event) {
  const d = isObject(event.detail) ? event.detail : {};
  const n = (key) => num(d[key]);
  const s = (key) => str(d[key], 200);
  const from = s('source') === 'ui' ? ' from the editor' : s('source') === 'component' ? ' by the host' : '';
  switch (event.kind) {
    case 'created': return { title: 'Plug-in created' };
    case 'configured': return { title: 'Host configuration changed' };
    case 'activated': return { title: 'Switched on' };
    case 'deactivated': return { title: 'Switched off' };
    case 'reset': return { title: 'Reset' };
    case 'destroyed': return { title: 'Plug-in closed' };
    case 'editorOpened': return { title: 'Editor opened' };
    case 'editorClosed': return { title: 'Editor closed' };
    case 'editorError': return { title: 'Editor problem', detail: s('reason') };
    case 'stateSaved': return { title: `State saved${from}`, detail: bytes(n('stateBytes')) };
    case 'stateRestored': return { title: `State restored${from}`, detail: bytes(n('stateBytes')) };
    case 'presetLoaded': return { title: 'Preset loaded', detail: s('name') || s('id') };
    case 'presetSaved': return { title: 'Preset saved' };
    case 'latencyChanged': return { title: 'Latency changed', detail: n('latencySamples') === undefined ? '' : `${n('latencySamples')} samples (was ${n('previous') ?? '?'})` };
    case 'tailChanged': return { title: 'Tail changed' };
    case 'tempoChanged': return { title: 'Tempo changed', detail: n('tempo') === undefined ? '' : `${formatShortest(n('tempo'))} BPM (was ${n('previous') === undefined ? '?' : formatShortest(n('previous'))})` };
    case 'timeSignatureChanged': return { title: 'Time signature changed', detail: n('numerator') === undefined ? '' : `${n('numerator')}/${n('denominator') ?? '?'} (was ${n('previousNumerator') ?? '?'}/${n('previousDenominator') ?? '?'})` };
    case 'sampleRateChanged':
      // The first set-up has no rate before it.
      if (!(n('previous') > 0)) return { title: 'Sample rate set', detail: n('sampleRate') === undefined ? '' : hz(n('sampleRate')) };
      return { title: 'Sample rate changed', detail: n('sampleRate') === undefined ? '' : `${hz(n('sampleRate'))} (was ${hz(n('previous'))})` };
    case 'blockSizeChanged': return { title: 'Block size changed', detail: n('maxBlockFrames') === undefined ? '' : `${n('maxBlockFrames')} samples (was ${n('previous') ?? '?'})` };
    case 'busLayoutChanged': return { title: 'Outputs changed', detail: n('buses') === undefined ? '' : `${n('buses')} bus${n('buses') === 1 ? '' : 'es'}${s('layout') ? `, ${s('layout')}` : ''}` };
    case 'processModeChanged': return { title: 'Processing mode changed', detail: n('processMode') === undefined ? '' : `now ${processModeWords(n('processMode'))}` };
    case 'bypassChanged': return { title: d.bypassed === true ? 'Bypassed' : 'Bypass off' };
    case 'ccMapChanged': return { title: 'CC map changed', detail: n('bindings') === undefined ? '' : `${n('bindings')} binding${n('bindings') === 1 ? '' : 's'}` };
    case 'stimulus': return { title: 'Test signal' };
    case 'runtimeDiagnostic': return { title: 'Health report received', detail: bytes(n('reportBytes')) };
    default: return { title: typeof event.kind === 'string' ? event.kind : 'Event' };
  }
}

// What a host change announcement changed, in words (a list of phrases).
export function hostChangeWords(host) {
  const phrases = [];
  const h = isObject(host) ? host : {};
  if (num(h.sampleRate) !== undefined) phrases.push(`sample rate ${hz(h.sampleRate)}`);
  if (num(h.maxBlockFrames) !== undefined) phrases.push(`blocks up to ${h.maxBlockFrames} samples`);
  if (num(h.lastBlockFrames) !== undefined) phrases.push(`last block ${h.lastBlockFrames} samples`);
  if (typeof h.processMode === 'string') phrases.push(`${processModeWords(h.processMode)} processing`);
  if (num(h.sampleSize) !== undefined) phrases.push(`${h.sampleSize}-bit samples`);
  if (num(h.latencySamples) !== undefined) phrases.push(`latency ${h.latencySamples} samples`);
  if (h.tailSamples !== undefined) phrases.push(`tail ${tailWords(h.tailSamples)}`);
  if (num(h.internalSampleRate) !== undefined) phrases.push(`internal rate ${hz(h.internalSampleRate)}`);
  if (Array.isArray(h.buses)) phrases.push(`${h.buses.length} bus${h.buses.length === 1 ? '' : 'es'}`);
  if (typeof h.bypassed === 'boolean') phrases.push(h.bypassed ? 'bypassed' : 'not bypassed');
  return phrases;
}

export function tailWords(tail) {
  if (tail === 'infinite') return 'endless';
  if (typeof tail === 'number' && Number.isFinite(tail)) return `${tail} samples`;
  return 'not reported';
}

// A bank error code in words, with what was asked for.
export function bankErrorWords(code, requested) {
  const what = requested ? ` (${requested})` : '';
  switch (code) {
    case 'bank-missing': return `No bank was found there${what}. Check the folder or the name.`;
    case 'bank-hash-mismatch': return `The bank's files do not match their checksums${what}: it may be damaged or incomplete.`;
    case 'bank-malformed': return `The bank's description could not be read${what}.`;
    case 'bank-unsupported-codec': return `The bank holds audio in a format that cannot be decoded${what}.`;
    case 'bank-too-large': return `The instrument could not take this bank${what}: it is too large, or this instrument has no sampler to play it.`;
    case 'bank-instrument-unknown': return `The bank has no instrument of that name${what}.`;
    case 'bank-fetch-failed': return `The hosted bank could not be downloaded${what}. Check the address, the pin and your connection.`;
    default: return `The bank could not be loaded${what}${code ? `: ${code}` : ''}.`;
  }
}
