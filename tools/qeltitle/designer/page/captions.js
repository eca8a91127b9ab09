// Captions mode: a subtitle file of the folder drawn in a caption style (an installed preset or a
// style file of the folder), over the backdrop; the style is edited as JSON or through the
// controls of its looks, place, effects and plate, and seen at once.
import { postJson } from './api.js';
import { joinColor, splitColor } from './model.js';

const $ = (id) => document.getElementById(id);

// What a style holds when it does not say (the caption defaults).
const DEFAULTS = { size: 64, anchor: 'bottom', margin: [0, 60], width: 1500, lines: 2, effect: 'PATH_FADE', duration: 0.15 };
const looks = (s) => (s.style ||= {});
const plateOf = (s) => (Array.isArray(s.plate) ? s.plate[0] : s.plate) || null;
const marginOf = (s) => (Array.isArray(s.margin) ? s.margin : typeof s.margin === 'number' ? [s.margin, s.margin] : DEFAULTS.margin);
const effectOf = (s, which) => (which in s ? s[which]?.effect ?? '' : DEFAULTS.effect);
function setEffect(s, which, effect) {
  s[which] = effect ? { ...(s[which] || {}), effect, duration: s[which]?.duration ?? DEFAULTS.duration } : null;
}
// The plate as the controls give it; its other fields (border, shadow, reveal) are kept.
function setPlate(s) {
  if (!$('cap-plate-on').checked) return void delete s.plate;
  const plate = { ...(plateOf(s) || {}), per: $('cap-plate-per').value,
    color: joinColor($('cap-plate-color').value, $('cap-plate-alpha').value),
    padding: [Number($('cap-plate-pad-x').value) || 0, Number($('cap-plate-pad-y').value) || 0],
    radius: Number($('cap-plate-radius').value) || 0 };
  delete plate.gradient;
  s.plate = Array.isArray(s.plate) && s.plate.length > 1 ? [plate, ...s.plate.slice(1)] : plate;
}
const number = (id) => Number($(id).value);

// Each control: its element, the value it shows for a style, and what it writes into the style.
const FIELDS = [
  ['cap-font', (s) => s.style?.font || '', (s) => { if ($('cap-font').value) looks(s).font = $('cap-font').value; else delete looks(s).font; }],
  ['cap-size', (s) => s.style?.size ?? DEFAULTS.size, (s) => { if (number('cap-size') > 0) looks(s).size = number('cap-size'); }],
  ['cap-bold', (s) => Boolean(s.style?.bold), (s) => { looks(s).bold = $('cap-bold').checked; }],
  ['cap-color', (s) => splitColor(s.style?.color).rgb, (s) => { looks(s).color = $('cap-color').value.toUpperCase(); }],
  ['cap-highlight', (s) => splitColor(s.highlight?.color, '#FFE11A').rgb,
    (s) => { (s.highlight ||= {}).color = $('cap-highlight').value.toUpperCase(); }],
  ['cap-anchor', (s) => s.anchor || DEFAULTS.anchor, (s) => { s.anchor = $('cap-anchor').value; }],
  ['cap-margin-x', (s) => marginOf(s)[0], (s) => { s.margin = [number('cap-margin-x'), marginOf(s)[1]]; }],
  ['cap-margin-y', (s) => marginOf(s)[1], (s) => { s.margin = [marginOf(s)[0], number('cap-margin-y')]; }],
  ['cap-width', (s) => s.width ?? DEFAULTS.width, (s) => { if (number('cap-width') >= 1) s.width = number('cap-width'); }],
  ['cap-lines', (s) => s.lines ?? DEFAULTS.lines, (s) => { if (number('cap-lines') >= 1) s.lines = number('cap-lines'); }],
  ['cap-in', (s) => effectOf(s, 'in'), (s) => setEffect(s, 'in', $('cap-in').value)],
  ['cap-out', (s) => effectOf(s, 'out'), (s) => setEffect(s, 'out', $('cap-out').value)],
  ['cap-plate-on', (s) => Boolean(plateOf(s)), setPlate],
  ['cap-plate-per', (s) => plateOf(s)?.per || 'string', setPlate],
  ['cap-plate-color', (s) => splitColor(plateOf(s)?.color, '#000000A0').rgb, setPlate],
  ['cap-plate-alpha', (s) => splitColor(plateOf(s)?.color, '#000000A0').alpha, setPlate],
  ['cap-plate-pad-x', (s) => [plateOf(s)?.padding ?? 24].flat()[0], setPlate],
  ['cap-plate-pad-y', (s) => [plateOf(s)?.padding ?? 8].flat().at(-1), setPlate],
  ['cap-plate-radius', (s) => plateOf(s)?.radius ?? 0, setPlate],
];

export class CaptionsPanel {
  constructor(designer) {
    this.designer = designer;  // { refresh(), message(text, isError), files() }
    this.duration = 10;
    $('cap-subtitles').addEventListener('change', () => designer.refresh());
    $('cap-style-source').addEventListener('change', () => this.loadStyle($('cap-style-source').value));
    $('cap-style').addEventListener('input', () => { this.showControls(); designer.refresh(); });
    for (const [id, , write] of FIELDS) $(id).addEventListener('input', () => this.patch(write));
    $('cap-save').addEventListener('click', () => this.save());
  }

  // The installed fonts and the effects on offer, for their lists.
  choices(fonts, effects) {
    $('cap-font').replaceChildren(new Option('(default face)', ''), ...fonts.map((f) => {
      const option = new Option(f, f);
      option.style.fontFamily = `"${f}"`;
      return option;
    }));
    for (const id of ['cap-in', 'cap-out']) {
      $(id).replaceChildren(new Option('none', ''), ...effects.map((e) => new Option(e.name, e.id)));
    }
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
    for (const [id, read] of FIELDS) {
      const el = $(id);
      if (document.activeElement === el) continue;
      if (el.type === 'checkbox') el.checked = read(s); else el.value = read(s);
    }
    $('cap-plate-row').hidden = !plateOf(s);
  }

  patch(fn) {
    const s = this.style();
    if (!s) return this.designer.message('the style is not valid JSON', true);
    fn(s);
    $('cap-style').value = JSON.stringify(s, null, 2);
    this.showControls();
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
      document.body.dataset.saved = $('cap-style-name').value;
    } catch (error) {
      this.designer.message(error.message, true);
    }
  }
}
