// The title as the page edits it: the JSON of `qeltitle build` (doc/json.md). A string's motion
// is shown as an entrance, a hold and an exit, which are its key frames: the entrance effect
// from progress 0 at time 0 to 1 at `inEnd`, the exit effect from 1 at `outStart` to 0 at the
// end. Key frames of another shape are kept as they are and shown, but not dragged.

export const ANCHORS = ['top-left', 'top', 'top-right', 'left', 'center', 'right', 'bottom-left', 'bottom', 'bottom-right'];
export const FRAMES = { '1920x1080': [1920, 1080], '1080x1920': [1080, 1920], '1080x1080': [1080, 1080], '1080x1350': [1080, 1350] };

export function newTitle() {
  return {
    length: 4,
    frame: [1920, 1080],
    strings: [newString('Title')],
  };
}

export function newString(text) {
  return {
    text,
    style: { size: 96, bold: true, color: '#FFFFFF', border: { size: 4, color: '#000000' } },
    anchor: 'bottom-left', margin: [120, 140],
    keys: motionKeys({ inEffect: 'PATH_FADE', inEnd: 0.6, outEffect: 'PATH_FADE', outStart: 3.4 }, 4),
  };
}

// The string's text, spans joined.
export function textOf(string) {
  if (typeof string.text === 'string') return string.text;
  return (string.spans || []).map((s) => s.text || '').join('');
}

// Replaces the text; spans become one text with the first span's looks on the string.
export function setText(string, text) {
  if (string.spans) {
    const { text: _, ...looks } = string.spans[0] || {};
    string.style = { ...(string.style || {}), ...looks };
    delete string.spans;
  }
  string.text = text;
}

// The motion of a string's key frames, or null when they are of another shape. Before the first
// key and after the last a string is not drawn, so a string that only comes in is held by a last
// key at the end, and one that only goes out starts from a key at 0.
export function motionOf(string, length) {
  if (string.effect && !string.keys) {
    return { inEffect: string.effect, inEnd: Math.min(1, 0.4 * length), outEffect: '', outStart: length };
  }
  const keys = (string.keys || []).map((k) => ({ ...k, progress: k.progress ?? 1 }));
  const m = { inEffect: '', inEnd: 0, outEffect: '', outStart: length };
  const atEnd = (k) => Math.abs(k.time - length) < 1e-6;
  if (!keys.length) return m;
  let rest = keys;
  if (rest.length >= 2 && rest[0].time === 0 && rest[0].progress === 0 && rest[1].effect === rest[0].effect
      && rest[1].progress === 1) {
    m.inEffect = rest[0].effect; m.inEnd = rest[1].time; rest = rest.slice(2);
    if (rest.length === 1 && atEnd(rest[0]) && rest[0].effect === m.inEffect && rest[0].progress === 1) rest = [];
  }
  if (!m.inEffect && rest.length === 3 && rest[0].time === 0 && rest[0].progress === 1 && rest[0].effect === rest[1].effect) {
    rest = rest.slice(1);
  }
  if (rest.length === 2 && rest[1].progress === 0 && atEnd(rest[1]) && rest[0].effect === rest[1].effect
      && rest[0].progress === 1) {
    m.outEffect = rest[0].effect; m.outStart = rest[0].time; rest = [];
  }
  return rest.length ? null : m;
}

export function motionKeys(m, length) {
  const keys = [];
  const r = (t) => Math.round(t * 1000) / 1000;
  if (m.inEffect) keys.push({ time: 0, effect: m.inEffect, progress: 0 }, { time: r(m.inEnd), effect: m.inEffect });
  if (m.outEffect) {
    if (!m.inEffect) keys.push({ time: 0, effect: m.outEffect });
    keys.push({ time: r(m.outStart), effect: m.outEffect }, { time: r(length), effect: m.outEffect, progress: 0 });
  } else if (m.inEffect && r(m.inEnd) < r(length)) {
    keys.push({ time: r(length), effect: m.inEffect });
  }
  return keys;
}

export function setMotion(string, m, length) {
  delete string.effect; delete string.progress;
  const keys = motionKeys(m, length);
  if (keys.length) string.keys = keys; else delete string.keys;
}

// Key frame times of a title without a length are title times 0 to 1.
export function lengthOf(title) { return title.length || 1; }

// "#RRGGBB" or "#RRGGBBAA" as the colour input's value and an alpha 0-255.
export function splitColor(text, fallback = '#FFFFFF') {
  const c = typeof text === 'string' && /^#[0-9a-fA-F]{6}([0-9a-fA-F]{2})?$/.test(text) ? text : fallback;
  return { rgb: c.slice(0, 7).toLowerCase(), alpha: c.length === 9 ? parseInt(c.slice(7), 16) : 255 };
}

export function joinColor(rgb, alpha) {
  const a = Number(alpha);
  return (rgb.toUpperCase() + (a >= 255 ? '' : a.toString(16).padStart(2, '0').toUpperCase()));
}

// The string's own style over the title's, for showing the values in force.
export function styleOf(title, string) { return { ...(title.style || {}), ...(string.style || {}) }; }
