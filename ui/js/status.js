// The connection light in the top bar and short notices for screen readers
// and eyes alike.
export class Status {
  constructor(light, notice) {
    this.light = light;
    this.text = light.querySelector('.link-text');
    this.notice = notice;
    this.timer = 0;
  }

  // state: 'waiting', 'connected' or 'preview'.
  set(state, text) {
    this.light.dataset.state = state;
    this.text.textContent = text;
  }

  notify(text) {
    this.notice.textContent = text;
    this.notice.classList.add('is-shown');
    clearTimeout(this.timer);
    this.timer = setTimeout(() => this.notice.classList.remove('is-shown'), 5000);
  }
}
