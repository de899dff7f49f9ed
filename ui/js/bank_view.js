// The bank page, for sampler instruments built on the same shell: load a
// sound pack from a folder or from a hosted address pinned by its SHA-256,
// see what the plug-in reports about it ("orbel.bankState": the bank, its
// instruments, presets, pad adjustments, errors in words) and pick a preset.
// This build has no folder picker: when the plug-in says so, the page asks
// for the path to be typed instead.
import { el, replaceChildren, uid } from './dom.js';
import { card, factList } from './facts.js';
import { arr, isObject, num, obj, str } from './read.js';
import { bankErrorWords } from './words.js';

const ANSWER_TIMEOUT_MS = 15000;
// A hosted pack is downloaded in the background: up to 300 s, then unpacked.
const DOWNLOAD_TIMEOUT_MS = 330000;
const PICKER_TIMEOUT_MS = 2000;
const PIN = /^[0-9a-f]{64}$/;

// A labelled input; `control` is what is shown (the input, or a row that
// holds it).
function field(label, input, hint, control = input) {
  const id = uid('bank-field');
  input.id = id;
  return el('div', { class: 'field' },
    el('label', { for: id, class: 'field-label' }, label),
    control,
    hint ? el('p', { class: 'field-hint' }, hint) : null);
}

export class BankView {
  constructor(container, host, status) {
    this.host = host;
    this.status = status;
    this.state = undefined;
    this.currentPreset = '';
    this.answerTimer = 0;
    this.pickerTimer = 0;

    const radio = (value, label, checked) => el('label', { class: 'choice' },
      el('input', { type: 'radio', name: 'bank-source', value, checked, onchange: () => this.showSource() }), label);
    this.sourceFolder = radio('user-folder', 'Folder on this computer', true);
    this.sourceHosted = radio('hosted', 'Hosted pack (https)', false);
    this.pathInput = el('input', { type: 'text', class: 'input', autocomplete: 'off', spellcheck: 'false', placeholder: '/home/you/Sound Packs/Kit' });
    this.pickButton = el('button', { type: 'button', class: 'button', onclick: () => this.pickFolder() }, 'Choose…');
    this.urlInput = el('input', { type: 'url', class: 'input', autocomplete: 'off', spellcheck: 'false', placeholder: 'https://example.com/packs/kit.zip' });
    this.pinInput = el('input', { type: 'text', class: 'input input-mono', autocomplete: 'off', spellcheck: 'false', maxlength: '64', placeholder: '64 hexadecimal digits' });
    this.instrumentInput = el('input', { type: 'text', class: 'input', autocomplete: 'off', spellcheck: 'false', placeholder: 'first instrument of the bank' });
    this.message = el('div', { class: 'bank-message', role: 'status', 'aria-live': 'polite' });
    this.folderFields = el('div', {}, field('Folder', this.pathInput, 'The folder that holds the bank’s bank.json.',
      el('div', { class: 'field-row' }, this.pathInput, this.pickButton)));
    this.hostedFields = el('div', { hidden: true },
      field('Address', this.urlInput),
      field('SHA-256 pin', this.pinInput, 'The checksum of the pack archive, as its publisher gives it. The pack is only used when it matches.'));
    const form = el('form', { class: 'bank-form', onsubmit: (e) => { e.preventDefault(); this.load(); } },
      el('fieldset', { class: 'choices' }, el('legend', { class: 'field-label' }, 'Where is the bank?'), this.sourceFolder, this.sourceHosted),
      this.folderFields,
      this.hostedFields,
      field('Instrument', this.instrumentInput, 'Optional: the instrument or kit inside the bank.'),
      el('div', { class: 'form-actions' }, el('button', { type: 'submit', class: 'button button-primary' }, 'Load bank')),
      this.message);

    this.bankBody = el('div');
    this.presetsBody = el('div');
    container.append(el('div', { class: 'sheet' },
      el('div', { class: 'sheet-head' },
        el('div', {},
          el('h2', { class: 'sheet-title' }, 'Sound banks'),
          el('p', { class: 'sheet-hint' }, 'Sampler instruments built like Mirel play sound packs from a folder or from the web. Mirel itself is an oscillator synth: it can check a pack, but has no sampler to play it.'))),
      el('div', { class: 'cards cards-bank' },
        card('Load a bank', 'card-load', form),
        card('Current bank', 'card-bank', this.bankBody),
        card('Bank presets', 'card-presets', this.presetsBody))));
    this.render();
  }

  listen(router) {
    router.on('orbel.bankState', (m) => this.adopt(m));
    router.on('orbel.folderPicked', (m) => this.folderPicked(m));
    router.on('orbel.hello', (m) => {
      const current = str(obj(m.presetState).currentId, 96);
      if (current) this.currentPreset = current;
    });
  }

  setOpen(open) {
    if (open) this.host.send({ type: 'orbel.getBankState' });
  }

  hosted() {
    return this.sourceHosted.querySelector('input').checked;
  }

  showSource() {
    this.folderFields.hidden = this.hosted();
    this.hostedFields.hidden = !this.hosted();
  }

  say(text, tone = 'info') {
    this.message.dataset.tone = tone;
    this.message.textContent = text;
  }

  load() {
    const instrument = this.instrumentInput.value.trim();
    let message;
    if (this.hosted()) {
      const url = this.urlInput.value.trim();
      const sha256 = this.pinInput.value.trim().toLowerCase();
      if (!/^https:\/\//i.test(url)) {
        this.say('Hosted packs are fetched over https only: enter an address that starts with https://.', 'error');
        this.urlInput.focus();
        return;
      }
      if (!PIN.test(sha256)) {
        this.say('The pin must be the pack’s SHA-256: 64 hexadecimal digits.', 'error');
        this.pinInput.focus();
        return;
      }
      message = { type: 'orbel.loadBank', source: 'hosted', url, sha256, instrument };
    } else {
      const bankPath = this.pathInput.value.trim();
      if (!bankPath) {
        this.say('Type or paste the folder that holds the bank (the one with bank.json).', 'error');
        this.pathInput.focus();
        return;
      }
      message = { type: 'orbel.loadBank', source: 'user-folder', bankPath, instrument };
    }
    if (this.hosted()) this.awaitAnswer('Downloading and checking the pack…', DOWNLOAD_TIMEOUT_MS);
    else this.awaitAnswer('Loading the bank…');
    this.host.send(message);
  }

  loadPreset(id) {
    this.currentPreset = id;
    this.render();
    this.presetsBody.querySelector('[aria-pressed="true"]')?.focus();
    this.awaitAnswer('Loading the preset…');
    this.host.send({ type: 'orbel.loadBankPreset', id });
  }

  awaitAnswer(text, timeoutMs = ANSWER_TIMEOUT_MS) {
    this.say(text, 'busy');
    clearTimeout(this.answerTimer);
    this.answerTimer = setTimeout(() => this.say('No answer came back from the plug-in. This build may not load banks yet.', 'error'), timeoutMs);
  }

  pickFolder() {
    this.host.send({ type: 'orbel.pickFolder' });
    clearTimeout(this.pickerTimer);
    this.pickerTimer = setTimeout(() => this.noPicker(), PICKER_TIMEOUT_MS);
  }

  noPicker(reason) {
    clearTimeout(this.pickerTimer);
    this.say(`${reason === 'this build has no folder picker' || !reason ? 'This version of Mirel has no folder picker.' : `The folder picker could not open (${reason}).`} No problem: type or paste the folder’s path into the box instead.`, 'info');
    this.pathInput.focus();
  }

  folderPicked(m) {
    clearTimeout(this.pickerTimer);
    if (m.ok === true && str(m.path, 4096)) {
      this.pathInput.value = str(m.path, 4096);
      this.say('Folder chosen. Load it when you are ready.');
    } else if (m.cancelled === true) {
      this.say('');
    } else {
      this.noPicker(str(m.error, 200));
    }
  }

  adopt(m) {
    this.state = m;
    const error = obj(m.error);
    if (m.reason === 'loadBank' || str(error.code, 64)) {
      clearTimeout(this.answerTimer);
      if (str(error.code, 64)) this.say(bankErrorWords(str(error.code, 64), str(error.requestedId, 300)), 'error');
      else this.say('Bank loaded.', 'ok');
    }
    this.render();
  }

  render() {
    const m = this.state ? this.state : {};
    const runtime = isObject(m.runtime) ? m.runtime : undefined;
    const padCount = Object.keys(obj(m.pads)).length;
    if (!runtime) {
      replaceChildren(this.bankBody,
        el('p', { class: 'card-note' }, 'No bank is loaded.'),
        padCount ? factList([['Pad adjustments', String(padCount)]]) : null);
    } else {
      const instrument = obj(runtime.instrument);
      const entries = arr(runtime.positionings, 256).filter(isObject);
      replaceChildren(this.bankBody,
        factList([
          ['From', runtime.source === 'hosted' ? 'hosted pack' : runtime.source === 'user-folder' ? 'folder' : str(runtime.source, 32)],
          ['Where', str(runtime.locator, 4096)],
          ['Instrument', str(instrument.name, 200) || str(instrument.id, 200)],
          ['Pad adjustments', padCount ? String(padCount) : undefined],
        ]),
        entries.length ? el('h4', { class: 'card-subtitle' }, `${entries.length} instrument${entries.length === 1 ? '' : 's'} in this bank`) : null,
        entries.length ? el('ul', { class: 'entries' }, entries.map((e) =>
          el('li', {}, el('span', {}, str(e.name, 200) || str(e.id, 200) || '?'), el('span', { class: 'entry-kind' }, str(e.list, 40) ?? '')))) : null);
    }
    const presets = obj(m.presets);
    const items = presets.bankScoped === true ? arr(presets.items, 512).filter((p) => isObject(p) && str(p.id, 200)) : [];
    if (!items.length) {
      replaceChildren(this.presetsBody, el('p', { class: 'card-note' }, 'Presets of a loaded bank appear here.'));
      return;
    }
    replaceChildren(this.presetsBody, el('ul', { class: 'preset-list' }, items.map((p) => {
      const id = str(p.id, 200);
      const count = Object.keys(obj(p.params)).filter((k) => num(p.params[k]) !== undefined).length;
      return el('li', {}, el('button', {
        type: 'button',
        class: 'preset',
        'aria-pressed': String(id === this.currentPreset),
        onclick: () => this.loadPreset(id),
      }, el('span', { class: 'preset-name' }, str(p.name, 200) || id),
      el('span', { class: 'preset-meta' }, `${count} setting${count === 1 ? '' : 's'}${p.instrument ? ` · ${str(p.instrument, 100)}` : ''}`)));
    })));
  }
}
