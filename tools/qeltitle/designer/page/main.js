// The designer page: the title being edited, its history, and the parts of the page wired to it.
import { getJson, postJson } from './api.js';
import { CaptionsPanel } from './captions.js';
import { EffectPicker } from './effects.js';
import { Inspector } from './inspector.js';
import { FRAMES, lengthOf, motionKeys, motionOf, newString, newTitle, setMotion, textOf } from './model.js';
import { Preview } from './preview.js';
import { Timeline } from './timeline.js';

const $ = (id) => document.getElementById(id);
const FPS = 25;
const HISTORY_LIMIT = 200;

const state = {
  title: newTitle(),
  selected: 0,
  seconds: 2,
  mode: 'title',
  backdrop: { kind: 'transparent', color: '#202040', file: '', seconds: 0 },
  version: 0,
  effects: [],
  files: [],
  editedAt: new Map(),  // version -> time of the edit, for the edit-to-frame figure
};
const history = { past: [], future: [], lastKey: null, lastTime: 0 };
// Edit-to-frame times (ms), read by the browser benchmark.
window.qelLatencies = [];

function frameSize() { return state.title.frame || [1920, 1080]; }

// An edit of the title: `fn` changes it; edits of the same control in quick succession are one
// step of the history.
function edit(fn, key = null, commit = true) {
  const before = JSON.stringify(state.title);
  fn(state.title);
  if (JSON.stringify(state.title) === before) return;
  if (history.held) commit = false;
  const now = performance.now();
  if (commit && !(key && key === history.lastKey && now - history.lastTime < 1000)) {
    history.past.push(before);
    if (history.past.length > HISTORY_LIMIT) history.past.shift();
    history.future = [];
  }
  history.lastKey = commit ? key : history.lastKey;
  history.lastTime = now;
  changed();
}

// A step of the history held open while a gesture lasts (a drag, an input method's composition):
// every edit until it is let go belongs to it, and a step that changed nothing is dropped.
function holdStep() {
  if (history.held) return;
  history.past.push(JSON.stringify(state.title));
  if (history.past.length > HISTORY_LIMIT) history.past.shift();
  history.future = [];
  history.lastKey = null;
  history.held = true;
}

function releaseStep(key = null) {
  if (!history.held) return;
  history.held = false;
  if (history.past.at(-1) === JSON.stringify(state.title)) history.past.pop();
  // Input that trails the gesture (a composition's last input event) joins its step.
  history.lastKey = key;
  history.lastTime = performance.now();
  showAll();
}

function undo(from = history.past, to = history.future) {
  if (!from.length) return;
  to.push(JSON.stringify(state.title));
  state.title = JSON.parse(from.pop());
  history.lastKey = null;
  state.selected = Math.min(state.selected, state.title.strings.length - 1);
  changed();
}
const redo = () => undo(history.future, history.past);

function changed() {
  const at = performance.now();
  showAll();
  refresh(at);
}

function message(text, isError = false) {
  $('message').textContent = text;
  $('message').classList.toggle('error', isError);
}

// Asks for the frame of what the page shows now (changed at `editedAt`); the page's version
// counts these requests, and the frame painted says which one it answers.
function refresh(editedAt = performance.now()) {
  state.version += 1;
  state.editedAt.set(state.version, editedAt);
  document.body.dataset.version = state.version;
  const size = frameSize();
  const fraction = Number($('scrub').value);
  let request;
  if (state.mode === 'captions') {
    request = captions.request(fraction, size, state.backdrop);
    if (!request) {
      document.body.dataset.painted = state.version;  // nothing to draw: nothing to wait for
      return message('choose a subtitle file of the folder');
    }
  } else {
    request = {
      path: 'api/frame',
      body: { title: JSON.stringify(state.title), time: fraction, width: size[0], height: size[1], backdrop: state.backdrop },
    };
  }
  request.version = state.version;
  preview.show(request);
}

function showAll() {
  const strings = state.title.strings;
  $('strings').replaceChildren(...strings.map((s, i) => {
    const li = document.createElement('li');
    li.textContent = textOf(s).replace(/\n/g, ' ⏎ ') || '(empty)';
    li.classList.toggle('selected', i === state.selected);
    li.addEventListener('click', () => select(i));
    return li;
  }));
  preview.selected = state.selected;
  inspector.show();
  $('length').value = state.title.length ?? '';
  const size = frameSize().join('x');
  if (FRAMES[size]) $('frame-preset').value = size;
  showTime();
  $('undo').disabled = !history.past.length;
  $('redo').disabled = !history.future.length;
}

function showTime() {
  const length = state.mode === 'captions' ? captions.duration : lengthOf(state.title);
  state.seconds = Number($('scrub').value) * length;
  $('clock').textContent = `${state.seconds.toFixed(2)} s`;
  const tracks = state.mode === 'captions' ? [] : state.title.strings.map((s) => ({
    label: textOf(s), motion: motionOf(s, length), keys: s.keys || [],
  }));
  timeline.set(tracks, length, state.seconds, state.selected);
}

function select(index) {
  if (state.selected === index) return;
  state.selected = index;
  showAll();
  preview.drawOverlay();
}

function seek(seconds) {
  const length = state.mode === 'captions' ? captions.duration : lengthOf(state.title);
  $('scrub').value = Math.min(1, Math.max(0, seconds / length));
  showTime();
  refresh();
}

// Play: the play head moves at the frame rate, wrapping at the end.
let playing = null;
function togglePlay() {
  if (playing) {
    cancelAnimationFrame(playing.frame);
    playing = null;
    $('play').textContent = '▶';
    return;
  }
  const length = () => (state.mode === 'captions' ? captions.duration : lengthOf(state.title));
  playing = { start: performance.now(), from: state.seconds };
  $('play').textContent = '❚❚';
  const tick = (now) => {
    if (!playing) return;
    const seconds = (playing.from + (now - playing.start) / 1000) % length();
    const framed = Math.floor(seconds * FPS) / FPS;
    if (Math.abs(framed - state.seconds) > 1e-6) seek(framed);
    playing.frame = requestAnimationFrame(tick);
  };
  playing.frame = requestAnimationFrame(tick);
}

function setLength(seconds) {
  edit((title) => {
    const old = lengthOf(title);
    for (const s of title.strings) {
      const m = motionOf(s, old);
      if (!m) continue;
      m.outStart = Math.max(0, seconds - (old - m.outStart));
      m.inEnd = Math.min(m.inEnd, m.outStart);
      setMotion(s, m, seconds);
    }
    title.length = seconds;
  }, 'length');
}

async function loadFiles(files) {
  state.files = files;
  const keep = (select, first, names) => {
    const value = select.value;
    select.replaceChildren(new Option(first, ''), ...names.map((f) => new Option(f, f)));
    if (names.includes(value)) select.value = value;
  };
  keep($('open-file'), 'Open…', files.filter((f) => /\.(xml|json)$/i.test(f)));
  const kind = state.backdrop.kind;
  keep($('backdrop-file'), kind === 'video' ? 'choose a clip…' : 'choose a picture…',
    files.filter((f) => (kind === 'video' ? /\.(mp4|mov|mkv|webm|m4v|avi|mxf|ts)$/i : /\.png$/i).test(f)));
  captions.list(files, state.presets || []);
}

async function open(name) {
  try {
    const { title } = await postJson('api/open', { name });
    state.title = JSON.parse(title);
    if (!Array.isArray(state.title.strings)) state.title.strings = [];
    history.past = []; history.future = [];
    state.selected = 0;
    $('save-name').value = name;
    $('save-format').value = /\.xml$/i.test(name) ? 'xml' : 'json';
    message(`opened ${name}`);
    changed();
  } catch (error) {
    message(error.message, true);
  }
}

async function save() {
  const name = $('save-name').value;
  const format = $('save-format').value;
  try {
    const text = format === 'json' ? `${JSON.stringify(state.title, null, 2)}\n` : JSON.stringify(state.title);
    const reply = await postJson('api/save', { name, format, title: text });
    loadFiles(reply.files);
    message(`saved ${reply.saved}`);
    document.body.dataset.saved = reply.saved;
  } catch (error) {
    message(error.message, true);
  }
}

async function exportFile() {
  const name = $('export-name').value;
  const size = frameSize();
  const body = { name, title: JSON.stringify(state.title), time: Number($('scrub').value),
    width: size[0], height: size[1], backdrop: state.backdrop };
  if (state.backdrop.kind === 'video' && !/\.png$/i.test(name)) body.clip = state.backdrop.file;
  try {
    const reply = await postJson('api/export', body);
    if (reply.saved) {
      loadFiles(reply.files);
      document.body.dataset.exported = `ok:${reply.saved}`;
      return message(`exported ${reply.saved}`);
    }
    const bar = $('export-progress');
    bar.hidden = false;
    $('export-cancel').hidden = false;
    $('export').disabled = true;
    const poll = async () => {
      const s = await getJson('api/export').catch((e) => ({ running: true, message: e.message }));
      bar.max = s.total || 1;
      bar.value = s.done;
      message(s.running ? `exporting ${s.output}: ${s.done}/${s.total || '?'} frames` : s.message, !s.running && !s.ok && !s.cancelled);
      document.body.dataset.exported = s.running ? '' : `${s.ok ? 'ok' : s.cancelled ? 'cancelled' : 'failed'}:${s.output}`;
      if (s.running) setTimeout(poll, 300);
      else {
        bar.hidden = true;
        $('export-cancel').hidden = true;
        $('export').disabled = false;
        if (s.files) loadFiles(s.files);
      }
    };
    poll();
  } catch (error) {
    message(error.message, true);
  }
}

function setBackdrop() {
  const kind = $('backdrop-kind').value;
  const kindChanged = kind !== $('backdrop-file').dataset.kind;
  $('backdrop-file').dataset.kind = kind;
  state.backdrop = { kind, color: $('backdrop-color').value, file: kindChanged ? '' : $('backdrop-file').value,
    seconds: Number($('backdrop-seconds').value) || 0 };
  $('backdrop-color').hidden = kind !== 'color';
  $('backdrop-file').hidden = kind !== 'image' && kind !== 'video';
  $('backdrop-at').hidden = kind !== 'video';
  $('frame').classList.toggle('checker', kind === 'transparent');
  if (kindChanged) loadFiles(state.files);
  message('');
  if ((kind === 'image' || kind === 'video') && !state.backdrop.file) {
    state.backdrop = { kind: 'transparent' };
    $('frame').classList.add('checker');
    message(`choose a ${kind === 'video' ? 'clip' : 'picture'} of the folder`);
  }
  refresh();
}

function setMode(mode) {
  state.mode = mode;
  $('mode-title').classList.toggle('active', mode === 'title');
  $('mode-captions').classList.toggle('active', mode === 'captions');
  $('strings-panel').hidden = mode !== 'title';
  $('captions-panel').hidden = mode !== 'captions';
  $('inspector').hidden = mode !== 'title';
  preview.drawOverlay();
  showTime();
  refresh();
}

function shortcuts(e) {
  const typing = /^(INPUT|TEXTAREA|SELECT)$/.test(document.activeElement?.tagName) && document.activeElement.type !== 'range';
  const mod = e.ctrlKey || e.metaKey;
  const key = e.key.toLowerCase();
  if (mod && key === 'z' && !typing) { e.preventDefault(); (e.shiftKey ? redo : undo)(); }
  else if (mod && key === 'y' && !typing) { e.preventDefault(); redo(); }
  else if (mod && key === 's') { e.preventDefault(); save(); }
  else if (mod && e.key === 'Enter') { e.preventDefault(); addString(); }
  else if (typing) return;
  else if (e.key === ' ') { e.preventDefault(); togglePlay(); }
  else if (e.key === 'ArrowRight' || e.key === 'ArrowLeft') {
    e.preventDefault();
    seek(state.seconds + (e.key === 'ArrowRight' ? 1 : -1) / FPS * (e.shiftKey ? FPS : 1));
  } else if (e.key === 'Home') seek(0);
  else if (e.key === 'End') seek(lengthOf(state.title));
  else if (e.key === 'Delete') removeString();
  else if (e.key === 'Tab') { e.preventDefault(); select((state.selected + 1) % Math.max(1, state.title.strings.length)); }
}

function addString() {
  edit((title) => {
    const s = newString('New text');
    s.anchor = 'center'; s.margin = [0, 0];
    s.keys = motionKeys({ inEffect: 'PATH_FADE', inEnd: 0.5, outEffect: 'PATH_FADE', outStart: lengthOf(title) - 0.5 },
      lengthOf(title));
    title.strings.push(s);
    state.selected = title.strings.length - 1;
  }, null);
}

function removeString() {
  if (!state.title.strings.length) return;
  edit((title) => {
    title.strings.splice(state.selected, 1);
    state.selected = Math.max(0, Math.min(state.selected, title.strings.length - 1));
  }, null);
}

// The parts of the page.
const preview = new Preview({
  canvas: $('preview'), frame: $('frame'), overlay: $('overlay'), inplace: $('inplace'), viewport: $('viewport'),
  editable: () => state.mode === 'title',
  textOf: (i) => textOf(state.title.strings[i]),
  onSelect: select,
  // Where the strings draw at rest, for snapping.
  drawnBoxes: () => {
    const [width, height] = frameSize();
    return postJson('api/bounds', { title: JSON.stringify(state.title), width, height })
      .then((reply) => reply.boxes.map(([x, y, w, h]) => ({ x, y, w, h })));
  },
  onText: (i, text) => edit((t) => { const s = t.strings[i]; if (s) { delete s.spans; s.text = text; } }, 'text'),
  // A drag is one step of the history: the title as it was before it.
  onMove: (i, place, done) => {
    if (done) return releaseStep();
    holdStep();
    edit((t) => { const s = t.strings[i]; delete s.at; s.anchor = place.anchor; s.margin = place.margin; }, 'drag', false);
  },
  onFrame: (frame, request) => {
    document.body.dataset.painted = request.version;
    if (frame.warnings.length) message(frame.warnings.join('\n'));
    else if ($('message').classList.contains('error')) message('');
    if (state.mode === 'captions' && frame.duration && frame.duration !== captions.duration) {
      captions.duration = frame.duration;
      showTime();
    }
    const edited = state.editedAt.get(request.version);
    // Requests overtaken by later ones were never sent.
    for (const version of state.editedAt.keys()) if (version <= request.version) state.editedAt.delete(version);
    if (edited !== undefined) requestAnimationFrame(() => window.qelLatencies.push(performance.now() - edited));
  },
  onError: (error, request) => {
    document.body.dataset.painted = request.version;
    message(error.message, true);
  },
});
const timeline = new Timeline($('timeline'), {
  seek,
  select,
  motion: (i, m, commit) => edit((t) => setMotion(t.strings[i], m, lengthOf(t)), `motion${i}`, commit),
});
const inspector = new Inspector({
  title: () => state.title,
  selected: () => state.selected,
  edit,
  effectName: (id) => (id ? (state.effects.find((e) => e.id === id)?.name || id) : 'none'),
  pickEffect: (which, current) => picker.open(which, current),
});
const captions = new CaptionsPanel({ refresh: () => refresh(), message, files: () => state.files });
const picker = new EffectPicker($('effect-picker'), $('effect-grid'), $('effect-filter'), [], (which, effect) => {
  edit((t) => {
    const s = t.strings[state.selected];
    const length = lengthOf(t);
    const m = motionOf(s, length) || { inEffect: '', inEnd: 0, outEffect: '', outStart: length };
    if (which === 'in') {
      m.inEffect = effect;
      if (effect && m.inEnd <= 0) m.inEnd = Math.min(0.6, m.outStart);
    } else {
      m.outEffect = effect;
      if (effect && m.outStart >= length) m.outStart = Math.max(m.inEnd, length - 0.6);
    }
    setMotion(s, m, length);
  }, null);
});

$('scrub').addEventListener('input', () => { showTime(); refresh(); });

$('play').addEventListener('click', togglePlay);
$('length').addEventListener('change', () => {
  const v = Number($('length').value);
  if (v > 0) setLength(v);
});
$('undo').addEventListener('click', () => undo());
$('redo').addEventListener('click', redo);
$('save').addEventListener('click', save);
$('save-name').addEventListener('change', () => {
  if (/\.xml$/i.test($('save-name').value)) $('save-format').value = 'xml';
  if (/\.json$/i.test($('save-name').value)) $('save-format').value = 'json';
});
$('export').addEventListener('click', exportFile);
$('export-cancel').addEventListener('click', () => postJson('api/export/cancel', {}).catch((e) => message(e.message, true)));
$('open-file').addEventListener('change', () => { if ($('open-file').value) open($('open-file').value); });
$('add-string').addEventListener('click', addString);
$('remove-string').addEventListener('click', removeString);
$('frame-preset').addEventListener('change', () => edit((t) => { t.frame = FRAMES[$('frame-preset').value]; }, null));
for (const id of ['backdrop-kind', 'backdrop-color', 'backdrop-file', 'backdrop-seconds']) {
  $(id).addEventListener('input', setBackdrop);
}
$('show-safe').addEventListener('change', () => { preview.showSafe = $('show-safe').checked; preview.drawOverlay(); });
$('mode-title').addEventListener('click', () => setMode('title'));
$('mode-captions').addEventListener('click', () => setMode('captions'));
document.addEventListener('keydown', shortcuts);
// Text composed by an input method is one edit, however long the composing takes.
document.addEventListener('compositionstart', holdStep, true);
document.addEventListener('compositionend', () => releaseStep('text'), true);
$('effect-picker').addEventListener('keydown', (e) => { if (e.key === 'Escape') picker.close(); });

// The session: the folder's files, fonts, effects, and the title the server was started with.
(async () => {
  try {
    const session = await getJson('api/session');
    state.effects = session.effects;
    state.presets = session.presets;
    picker.effects = session.effects;
    inspector.fonts(session.fonts);
    inspector.offer(session.effects);
    captions.choices(session.fonts, session.effects);
    loadFiles(session.files);
    if (session.title) {
      state.title = JSON.parse(session.title);
      $('save-name').value = session.titleName;
      $('save-format').value = /\.xml$/i.test(session.titleName) ? 'xml' : 'json';
    } else if (session.titleError) {
      message(session.titleError, true);
    }
    $('frame').classList.add('checker');
    document.body.dataset.ready = '1';
    changed();
  } catch (error) {
    message(`cannot reach the designer: ${error.message}`, true);
  }
})();
