// The inspector: the selected string's text, looks, place and motion. Values shown are those in
// force (the title's style under the string's own); a change is written into the string's style.
import { ANCHORS, joinColor, motionOf, setMotion, setText, splitColor, styleOf, textOf, lengthOf } from './model.js';
import { thumb } from './effects.js';

const $ = (id) => document.getElementById(id);

export class Inspector {
  constructor(designer) {
    this.designer = designer;  // { title(), selected(), edit(fn, coalesce), pickEffect(which, current) }
    this.effects = [];
    this.buildAnchors();
    $('text').addEventListener('input', () => this.change('text', (s) => setText(s, $('text').value)));
    $('font').addEventListener('change', () => this.style('font', (st) => {
      if ($('font').value) st.font = $('font').value; else delete st.font;
    }));
    $('size').addEventListener('input', () => this.number('size', 1, 4096, (st, v) => { st.size = v; }));
    $('bold').addEventListener('change', () => this.style('bold', (st) => { st.bold = $('bold').checked; }));
    $('italic').addEventListener('change', () => this.style('italic', (st) => { st.italic = $('italic').checked; }));
    $('align').addEventListener('change', () => this.style('align', (st) => { st.align = $('align').value; }));
    for (const id of ['color1', 'color2', 'gradient', 'gradient-on']) {
      $(id).addEventListener('input', () => this.style('face', (st) => this.writeFace(st)));
    }
    $('alpha').addEventListener('input', () => this.style('alpha', (st) => { st.alpha = Number($('alpha').value); }));
    for (const id of ['border-on', 'border-size', 'border-color', 'border-alpha', 'border-blur']) {
      $(id).addEventListener('input', () => this.style('border', (st) => this.writeBorder(st)));
    }
    for (const id of ['shadow-on', 'shadow-x', 'shadow-y', 'shadow-blur', 'shadow-extrude', 'shadow-color', 'shadow-alpha']) {
      $(id).addEventListener('input', () => this.style('shadow', (st) => this.writeShadow(st)));
    }
    for (const id of ['plate-on', 'plate-per', 'plate-color', 'plate-alpha', 'plate-pad-x', 'plate-pad-y', 'plate-radius']) {
      $(id).addEventListener('input', () => this.change('plate', (s) => this.writePlate(s)));
    }
    for (const id of ['margin-x', 'margin-y']) {
      $(id).addEventListener('input', () => this.change('margin', (s) => {
        s.margin = [Number($('margin-x').value) || 0, Number($('margin-y').value) || 0];
        if (!s.anchor) s.anchor = 'center';
        delete s.at;
      }));
    }
    for (const which of ['in', 'out']) {
      $(`pick-${which}`).addEventListener('click', () => {
        const m = this.motion();
        this.designer.pickEffect(which, m ? m[`${which}Effect`] : '');
      });
    }
  }

  // The effects on offer: [{ id, name }].
  offer(effects) { this.effects = effects; }

  fonts(families) {
    $('font').replaceChildren(new Option('(default face)', ''), ...families.map((f) => {
      const option = new Option(f, f);
      option.style.fontFamily = `"${f}"`;  // each name in its own face
      return option;
    }));
  }

  buildAnchors() {
    const arrows = ['↖', '↑', '↗', '←', '•', '→', '↙', '↓', '↘'];
    $('anchor-grid').replaceChildren(...ANCHORS.map((a, i) => {
      const b = document.createElement('button');
      b.textContent = arrows[i];
      b.title = a;
      b.dataset.anchor = a;
      b.addEventListener('click', () => this.change('anchor', (s) => {
        s.anchor = a;
        if (!s.margin) s.margin = [0, 0];
        delete s.at;
      }));
      return b;
    }));
  }

  string() { return this.designer.title().strings[this.designer.selected()]; }
  motion() {
    const s = this.string();
    return s ? motionOf(s, lengthOf(this.designer.title())) : null;
  }

  change(key, fn) {
    this.designer.edit((title) => {
      const s = title.strings[this.designer.selected()];
      if (s) fn(s);
    }, key);
  }

  style(key, fn) { this.change(key, (s) => { s.style = s.style || {}; fn(s.style); }); }

  number(key, lo, hi, fn) {
    const v = Number($(key).value);
    if (Number.isFinite(v) && v >= lo && v <= hi) this.style(key, (st) => fn(st, v));
  }

  writeFace(st) {
    const c1 = $('color1').value.toUpperCase(), c2 = $('color2').value.toUpperCase();
    if ($('gradient-on').checked) {
      st.color = [c1, c2];
      st.gradient = Number($('gradient').value);
    } else {
      st.color = c1;
      delete st.gradient;
    }
  }

  writeBorder(st) {
    st.border = $('border-on').checked ? {
      size: Number($('border-size').value) || 0, color: $('border-color').value.toUpperCase(),
      alpha: Number($('border-alpha').value), blur: Number($('border-blur').value) || 0,
    } : false;
  }

  writeShadow(st) {
    st.shadow = $('shadow-on').checked ? {
      offset: [Number($('shadow-x').value) || 0, Number($('shadow-y').value) || 0],
      blur: Number($('shadow-blur').value) || 0, extrude: $('shadow-extrude').checked,
      color: $('shadow-color').value.toUpperCase(), alpha: Number($('shadow-alpha').value),
    } : false;
  }

  // The string's plate (the first, when it has several): the box behind it, by line or word;
  // fields the controls do not show (border, shadow, reveal) are kept.
  writePlate(s) {
    if (!$('plate-on').checked) {
      delete s.plate;
      return;
    }
    const plates = Array.isArray(s.plate) ? s.plate : s.plate ? [s.plate] : [{}];
    const plate = { ...plates[0] };
    plate.per = $('plate-per').value;
    plate.color = joinColor($('plate-color').value, $('plate-alpha').value);
    plate.padding = [Number($('plate-pad-x').value) || 0, Number($('plate-pad-y').value) || 0];
    plate.radius = Number($('plate-radius').value) || 0;
    delete plate.gradient;
    s.plate = plates.length > 1 ? [plate, ...plates.slice(1)] : plate;
  }

  showPlate(s, set) {
    const plate = Array.isArray(s.plate) ? s.plate[0] : s.plate;
    set('plate-on', plate);
    $('plate-row').hidden = !plate;
    const color = splitColor(Array.isArray(plate?.color) ? plate.color[0] : plate?.color, '#000000A0');
    set('plate-per', plate?.per || 'string');
    set('plate-color', color.rgb);
    set('plate-alpha', color.alpha);
    const padding = Array.isArray(plate?.padding) ? plate.padding : [plate?.padding ?? 24, plate?.padding ?? 8];
    set('plate-pad-x', padding[0]);
    set('plate-pad-y', padding[1]);
    set('plate-radius', plate?.radius ?? 0);
  }

  // Shows the selected string's values (a control being typed in is left alone).
  show() {
    const s = this.string();
    document.getElementById('inspector').inert = !s;
    if (!s) return;
    const st = styleOf(this.designer.title(), s);
    const set = (id, value) => {
      const el = $(id);
      if (document.activeElement === el) return;
      if (el.type === 'checkbox') el.checked = Boolean(value); else el.value = value;
    };
    set('text', textOf(s));
    set('font', st.font || '');
    set('size', st.size ?? 72);
    set('bold', st.bold);
    set('italic', st.italic);
    set('align', st.align || 'center');
    const colors = Array.isArray(st.color) ? st.color : [st.color || '#FFFFFF', st.color || '#FFFFFF'];
    set('color1', splitColor(colors[0]).rgb);
    set('color2', splitColor(colors[1]).rgb);
    set('alpha', st.alpha ?? splitColor(colors[0]).alpha);
    set('gradient-on', Array.isArray(st.color));
    set('gradient', st.gradient ?? 1);
    $('gradient-row').hidden = !Array.isArray(st.color);
    const border = st.border && typeof st.border === 'object' ? st.border : null;
    set('border-on', border);
    set('border-size', border?.size ?? 4);
    set('border-color', splitColor(border?.color, '#000000').rgb);
    set('border-alpha', border?.alpha ?? 255);
    set('border-blur', border?.blur ?? 0);
    $('border-row').hidden = !border;
    const shadow = st.shadow && typeof st.shadow === 'object' ? st.shadow : null;
    set('shadow-on', shadow);
    set('shadow-x', shadow?.offset?.[0] ?? 4);
    set('shadow-y', shadow?.offset?.[1] ?? 4);
    set('shadow-blur', shadow?.blur ?? 0);
    set('shadow-extrude', shadow?.extrude);
    set('shadow-color', splitColor(shadow?.color, '#000000').rgb);
    set('shadow-alpha', shadow?.alpha ?? 160);
    $('shadow-row').hidden = !shadow;
    this.showPlate(s, set);
    const margin = Array.isArray(s.margin) ? s.margin : [s.margin ?? 0, s.margin ?? 0];
    set('margin-x', margin[0]);
    set('margin-y', margin[1]);
    for (const b of $('anchor-grid').children) b.classList.toggle('active', b.dataset.anchor === (s.anchor || (s.at ? '' : 'center')));
    const m = this.motion();
    for (const which of ['in', 'out']) {
      const button = $(`pick-${which}`);
      const effect = m ? m[`${which}Effect`] : '';
      const name = this.designer.effectName(effect);
      const label = `${which === 'in' ? 'Entrance' : 'Exit'}: ${m ? name : 'key frames'}`;
      if (button.dataset.shown !== `${effect}|${label}`) {
        button.dataset.shown = `${effect}|${label}`;
        button.replaceChildren(thumb(effect), document.createTextNode(label));
      }
      button.disabled = !m;
    }
    this.showKeys(s, m);
  }

  // Key frames of another shape than entrance, hold and exit: each with the effect it takes the
  // string to, chosen here, and its progress.
  showKeys(s, m) {
    const list = $('keys');
    const keys = !m && Array.isArray(s.keys) ? s.keys : [];
    list.hidden = !keys.length;
    const shape = JSON.stringify(keys.map((k) => [k.time, k.effect, k.progress])) + this.effects.length;
    if (list.dataset.shape === shape) return;
    list.dataset.shape = shape;
    list.replaceChildren(...keys.map((key, i) => {
      const item = document.createElement('li');
      const effect = document.createElement('select');
      effect.dataset.key = i;
      effect.append(new Option('none', ''), ...this.effects.map((e) => new Option(e.name, e.id)));
      if (key.effect && ![...effect.options].some((o) => o.value === key.effect)) effect.append(new Option(key.effect, key.effect));
      effect.value = key.effect || '';
      effect.addEventListener('change', () => this.change(`key${i}`, (string) => {
        if (effect.value) string.keys[i].effect = effect.value; else delete string.keys[i].effect;
      }));
      item.append(`${Number(key.time).toFixed(2)} s `, effect, ` ${Math.round((key.progress ?? 1) * 100)} %`);
      return item;
    }));
  }
}

export { setMotion };
