// The preview: frames drawn by the engine put on a canvas as they are (lossless RGBA), the boxes
// of the strings over it to select, drag and edit in place, and the safe areas. Frames are asked
// for one at a time; edits made while one is on its way are drawn next, in one frame.
import { postFrame } from './api.js';

const SNAP_CSS_PIXELS = 8;

export class Preview {
  constructor(page) {
    this.page = page;  // { canvas, frame, overlay, inplace, viewport, callbacks }
    this.context = page.canvas.getContext('2d');
    this.size = [1920, 1080];
    this.busy = false;
    this.pending = null;
    this.boxes = [];
    this.selected = 0;
    this.showSafe = true;
    new ResizeObserver(() => this.fit()).observe(page.viewport);
  }

  // Asks for the frame of `request` ({path, body, version}); only the latest one waiting is sent.
  show(request) {
    this.pending = request;
    if (!this.busy) this.next();
  }

  async next() {
    const request = this.pending;
    if (!request) return;
    this.pending = null;
    this.busy = true;
    try {
      // The frame shown: the server then sends only what changed in it.
      const frame = await postFrame(request.path, { ...request.body, have: this.serial || 0 });
      this.paint(frame);
      this.page.onFrame?.(frame, request);
    } catch (error) {
      this.serial = 0;
      this.page.onError?.(error, request);
    } finally {
      this.busy = false;
      if (this.pending) this.next();
    }
  }

  paint(frame) {
    const { canvas } = this.page;
    if (canvas.width !== frame.width || canvas.height !== frame.height) {
      canvas.width = frame.width;
      canvas.height = frame.height;
      this.size = [frame.width, frame.height];
      this.fit();
    }
    const { x, y, w, h } = frame.rect;
    if (w > 0 && h > 0) this.context.putImageData(new ImageData(frame.pixels, w, h), x, y);
    this.serial = frame.serial;
    this.boxes = frame.boxes;
    this.drawOverlay();
  }

  setSize(width, height) {
    this.size = [width, height];
    this.fit();
  }

  // The frame at the largest size the viewport holds.
  fit() {
    const { viewport, frame } = this.page;
    const [w, h] = this.size;
    const room = viewport.getBoundingClientRect();
    this.scale = Math.max(0.05, Math.min((room.width - 24) / w, (room.height - 24) / h));
    frame.style.width = `${w * this.scale}px`;
    frame.style.height = `${h * this.scale}px`;
    this.drawOverlay();
  }

  drawOverlay() {
    // A box being dragged or edited keeps its element (it holds the pointer) until it is let go.
    if (this.holding) return;
    const { overlay } = this.page;
    const s = this.scale || 1;
    const [w, h] = this.size;
    overlay.replaceChildren();
    if (this.showSafe) {
      for (const inset of [0.05, 0.1]) {
        const safe = document.createElement('div');
        safe.className = 'safe';
        Object.assign(safe.style, { left: `${w * inset * s}px`, top: `${h * inset * s}px`,
          width: `${w * (1 - 2 * inset) * s}px`, height: `${h * (1 - 2 * inset) * s}px` });
        overlay.append(safe);
      }
    }
    if (!this.page.editable()) return;
    this.boxes.forEach((b, i) => {
      const box = document.createElement('div');
      box.className = `box${i === this.selected ? ' selected' : ''}`;
      box.dataset.index = i;
      Object.assign(box.style, { left: `${b.x * s}px`, top: `${b.y * s}px`, width: `${b.w * s}px`, height: `${b.h * s}px` });
      box.addEventListener('pointerdown', (e) => this.startDrag(e, i));
      box.addEventListener('dblclick', () => this.editInPlace(i));
      overlay.append(box);
    });
  }

  // Dragging a string: its box follows the pointer, snapping what the string draws (its
  // characters with their borders, shadows and plates, as the engine reports them) to the safe
  // areas and the middle of the frame; the string gets the anchor and margin that put it there.
  startDrag(event, index) {
    event.preventDefault();
    const target = event.currentTarget;
    this.holding = true;
    this.page.onSelect(index);
    this.page.overlay.querySelectorAll('.box').forEach((b) => b.classList.toggle('selected', b === target));
    const start = { x: event.clientX, y: event.clientY, box: { ...this.boxes[index] } };
    // Until the drawn extent arrives, the text's box stands for it.
    let seen = null;
    this.page.drawnBoxes?.().then((boxes) => { seen = boxes[index] || null; }).catch(() => {});
    target.setPointerCapture(event.pointerId);
    let moved = false;
    const move = (e) => {
      const s = this.scale;
      const dx = (e.clientX - start.x) / s, dy = (e.clientY - start.y) / s;
      if (!moved && Math.abs(e.clientX - start.x) + Math.abs(e.clientY - start.y) < 3) return;
      moved = true;
      const box = { ...start.box, x: start.box.x + dx, y: start.box.y + dy };
      const drawn = seen ? { ...seen, x: seen.x + dx, y: seen.y + dy } : box;
      const snapped = this.snap(drawn);
      box.x += snapped.x - drawn.x;
      box.y += snapped.y - drawn.y;
      target.style.left = `${box.x * s}px`;
      target.style.top = `${box.y * s}px`;
      this.page.onMove(index, placementOf(box, this.size, snapped.centred), false);
    };
    const up = () => {
      target.removeEventListener('pointermove', move);
      target.removeEventListener('pointerup', up);
      this.page.overlay.querySelectorAll('.guide').forEach((g) => g.remove());
      this.holding = false;
      if (moved) this.page.onMove(index, null, true);
    };
    target.addEventListener('pointermove', move);
    target.addEventListener('pointerup', up);
  }

  snap(box) {
    const [w, h] = this.size;
    const reach = SNAP_CSS_PIXELS / this.scale;
    const out = { ...box, centred: { x: false, y: false } };
    this.page.overlay.querySelectorAll('.guide').forEach((g) => g.remove());
    const axis = (pos, size, whole, key) => {
      const lines = [0, 0.05, 0.1, 0.5, 0.9, 0.95, 1].map((f) => f * whole);
      let best = null;
      for (const line of lines) {
        for (const [edge, offset] of [[pos, 0], [pos + size / 2, size / 2], [pos + size, size]]) {
          const d = Math.abs(edge - line);
          if (d <= reach && (!best || d < best.d)) best = { d, pos: line - offset, line, centre: offset === size / 2 && line === whole / 2 };
        }
      }
      if (!best) return pos;
      out.centred[key] = best.centre;
      this.guide(key, best.line);
      return best.pos;
    };
    out.x = axis(box.x, box.w, w, 'x');
    out.y = axis(box.y, box.h, h, 'y');
    return out;
  }

  guide(axis, at) {
    const g = document.createElement('div');
    g.className = 'guide';
    const s = this.scale;
    Object.assign(g.style, axis === 'x'
      ? { left: `${at * s}px`, top: 0, width: '1px', height: '100%' }
      : { top: `${at * s}px`, left: 0, height: '1px', width: '100%' });
    this.page.overlay.append(g);
  }

  // The text edited where it stands: a text box over the string (input methods work there).
  editInPlace(index) {
    const b = this.boxes[index];
    const { inplace } = this.page;
    const s = this.scale;
    Object.assign(inplace.style, { left: `${b.x * s}px`, top: `${b.y * s}px`,
      width: `${Math.max(160, b.w * s)}px`, height: `${Math.max(40, b.h * s)}px`,
      fontSize: `${Math.max(12, Math.min(48, b.h * s * 0.6))}px` });
    inplace.value = this.page.textOf(index);
    inplace.hidden = false;
    inplace.focus();
    inplace.oninput = () => this.page.onText(index, inplace.value);
    const close = () => { inplace.hidden = true; inplace.onblur = null; };
    inplace.onblur = close;
    inplace.onkeydown = (e) => { if (e.key === 'Escape') { e.stopPropagation(); inplace.blur(); } };
  }
}

// Anchor and margin (layout units) that put `box` where it is in a frame of `size`: the nearer
// side on each axis, or the middle when the box was snapped to it.
export function placementOf(box, [w, h], centred = { x: false, y: false }) {
  const side = (pos, size, whole, centre) => {
    if (centre) return ['', 0];
    return pos + size / 2 < whole / 2 ? ['start', Math.round(pos)] : ['end', Math.round(whole - pos - size)];
  };
  const [sx, mx] = side(box.x, box.w, w, centred.x);
  const [sy, my] = side(box.y, box.h, h, centred.y);
  const vertical = sy === 'start' ? 'top' : sy === 'end' ? 'bottom' : '';
  const horizontal = sx === 'start' ? 'left' : sx === 'end' ? 'right' : '';
  const anchor = vertical && horizontal ? `${vertical}-${horizontal}` : vertical || horizontal || 'center';
  return { anchor, margin: [mx, my] };
}
