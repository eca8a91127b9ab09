// Captions mode: a subtitle file of the folder drawn in a caption style (an installed preset or a
// style file of the folder), over the backdrop; the style is edited as JSON or through a few
// controls, and seen at once.
import { postJson } from './api.js';

const $ = (id) => document.getElementById(id);

export class CaptionsPanel {
  constructor(designer) {
    this.designer = designer;  // { refresh(), message(text, isError), files() }
    this.duration = 10;
    $('cap-subtitles').addEventListener('change', () => designer.refresh());
    $('cap-style-source').addEventListener('change', () => this.loadStyle($('cap-style-source').value));
    $('cap-style').addEventListener('input', () => { this.showControls(); designer.refresh(); });
    // The looks are the style file's "style" object; the anchor is its own field.
    $('cap-size').addEventListener('input', () => this.patch((s) => { (s.style ||= {}).size = Number($('cap-size').value); }));
    $('cap-color').addEventListener('input', () => this.patch((s) => { (s.style ||= {}).color = $('cap-color').value.toUpperCase(); }));
    $('cap-anchor').addEventListener('change', () => this.patch((s) => { s.anchor = $('cap-anchor').value; }));
    $('cap-save').addEventListener('click', () => this.save());
  }

  list(files, presets) {
    const keep = (select, options) => {
      const value = select.value;
      select.replaceChildren(...options.map(([v, label]) => new Option(label, v)));
      if ([...select.options].some((o) => o.value === value)) select.value = value;
    };
    keep($('cap-subtitles'), files.filter((f) => /\.(srt|vtt)$/i.test(f)).map((f) => [f, f]));
    keep($('cap-style-source'), [['', 'choose a style…'], ...presets.map((p) => [`preset:${p}`, `preset ${p}`]),
      ...files.filter((f) => /\.json$/i.test(f)).map((f) => [f, f])]);
  }

  async loadStyle(name) {
    if (!name) return;
    try {
      const { text } = await postJson('api/text', { name });
      $('cap-style').value = text;
      this.showControls();
      this.designer.refresh();
    } catch (error) {
      this.designer.message(error.message, true);
    }
  }

  style() {
    try { return JSON.parse($('cap-style').value || '{}'); } catch { return null; }
  }

  showControls() {
    const s = this.style();
    if (!s) return;
    const looks = s.style || {};
    $('cap-size').value = typeof looks.size === 'number' ? looks.size : '';
    if (typeof looks.color === 'string') $('cap-color').value = looks.color.slice(0, 7).toLowerCase();
    if (typeof s.anchor === 'string') $('cap-anchor').value = s.anchor;
  }

  patch(fn) {
    const s = this.style();
    if (!s) return this.designer.message('the style is not valid JSON', true);
    fn(s);
    $('cap-style').value = JSON.stringify(s, null, 2);
    this.designer.refresh();
  }

  // The frame request for `fraction` (0 to 1) of the captions' length.
  request(fraction, size, backdrop) {
    const subtitles = $('cap-subtitles').value;
    if (!subtitles) return null;
    const seconds = fraction * this.duration;
    return {
      path: 'api/captions',
      body: { subtitles, style: $('cap-style').value, seconds, width: size[0], height: size[1],
        backdrop: backdrop.kind === 'video' ? { ...backdrop, seconds } : backdrop },
    };
  }

  async save() {
    try {
      await postJson('api/save', { name: $('cap-style-name').value, format: 'style', title: $('cap-style').value });
      this.designer.message(`saved ${$('cap-style-name').value}`);
    } catch (error) {
      this.designer.message(error.message, true);
    }
  }
}
