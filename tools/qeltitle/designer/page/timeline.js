// The timeline: a ruler in seconds with the play head, and a track per string showing its
// entrance, hold and exit with its key frames. The ends of the entrance and the start of the exit
// are dragged; a click or drag on the ruler moves the play head.
const RULER = 18, TRACK = 20, HANDLE = 6;

export class Timeline {
  constructor(canvas, callbacks) {
    this.canvas = canvas;
    this.callbacks = callbacks;  // { seek(seconds), motion(index, m, commit), select(index) }
    this.tracks = [];
    this.length = 4;
    this.seconds = 0;
    this.selected = 0;
    canvas.addEventListener('pointerdown', (e) => this.down(e));
    new ResizeObserver(() => this.draw()).observe(canvas);
  }

  set(tracks, length, seconds, selected) {
    Object.assign(this, { tracks, length, seconds, selected });
    this.draw();
  }

  x(seconds) { return (seconds / this.length) * (this.canvas.clientWidth - 2 * HANDLE) + HANDLE; }
  secondsAt(x) {
    const t = ((x - HANDLE) / (this.canvas.clientWidth - 2 * HANDLE)) * this.length;
    return Math.min(this.length, Math.max(0, t));
  }

  draw() {
    const c = this.canvas;
    const height = Math.max(80, RULER + TRACK * this.tracks.length + 4);
    c.style.height = `${height}px`;
    const ratio = window.devicePixelRatio || 1;
    c.width = c.clientWidth * ratio;
    c.height = height * ratio;
    const g = c.getContext('2d');
    g.scale(ratio, ratio);
    g.clearRect(0, 0, c.clientWidth, height);
    g.font = '10px system-ui';
    g.fillStyle = '#9aa0ad';
    const step = this.length > 20 ? 5 : this.length > 8 ? 1 : 0.5;
    for (let t = 0; t <= this.length + 1e-9; t += step) {
      g.fillRect(this.x(t), 10, 1, 8);
      g.fillText(`${+t.toFixed(1)}`, this.x(t) + 2, 9);
    }
    const css = getComputedStyle(document.documentElement);
    this.tracks.forEach((track, i) => {
      const y = RULER + i * TRACK + 2;
      g.fillStyle = i === this.selected ? '#27324a' : '#1c1f26';
      g.fillRect(0, y - 1, c.clientWidth, TRACK);
      const m = track.motion;
      if (m) {
        g.fillStyle = css.getPropertyValue('--hold');
        g.fillRect(this.x(m.inEnd), y + 3, this.x(m.outStart) - this.x(m.inEnd), TRACK - 8);
        if (m.inEffect) {
          g.fillStyle = css.getPropertyValue('--in');
          g.fillRect(this.x(0), y + 3, this.x(m.inEnd) - this.x(0), TRACK - 8);
        }
        if (m.outEffect) {
          g.fillStyle = css.getPropertyValue('--out');
          g.fillRect(this.x(m.outStart), y + 3, this.x(this.length) - this.x(m.outStart), TRACK - 8);
        }
      }
      g.fillStyle = '#e6e8ee';
      for (const key of track.keys) this.diamond(g, this.x(key.time), y + TRACK / 2 - 1);
      g.fillStyle = '#e6e8ee';
      g.fillText(track.label.slice(0, 40), 6, y + 12);
    });
    g.fillStyle = '#ff4f4f';
    g.fillRect(this.x(this.seconds) - 1, 0, 2, height);
  }

  diamond(g, x, y) {
    g.beginPath();
    g.moveTo(x, y - 5); g.lineTo(x + 5, y); g.lineTo(x, y + 5); g.lineTo(x - 5, y);
    g.closePath();
    g.fill();
  }

  // What a press at (x, y) takes hold of: the ruler, a motion edge of a track, or a track.
  hit(x, y) {
    if (y < RULER) return { kind: 'ruler' };
    const index = Math.floor((y - RULER) / TRACK);
    const track = this.tracks[index];
    if (!track) return { kind: 'ruler' };
    const m = track.motion;
    if (m) {
      if (m.inEffect && Math.abs(x - this.x(m.inEnd)) <= HANDLE) return { kind: 'edge', index, edge: 'inEnd' };
      if (m.outEffect && Math.abs(x - this.x(m.outStart)) <= HANDLE) return { kind: 'edge', index, edge: 'outStart' };
    }
    return { kind: 'track', index };
  }

  down(event) {
    const rect = this.canvas.getBoundingClientRect();
    const at = (e) => [e.clientX - rect.left, e.clientY - rect.top];
    const hold = this.hit(...at(event));
    if (hold.kind === 'track') this.callbacks.select(hold.index);
    const apply = (e, commit) => {
      const seconds = Math.round(this.secondsAt(at(e)[0]) * 100) / 100;
      if (hold.kind === 'edge') {
        const m = { ...this.tracks[hold.index].motion };
        if (hold.edge === 'inEnd') m.inEnd = Math.min(seconds, m.outStart);
        else m.outStart = Math.max(seconds, m.inEnd);
        this.callbacks.motion(hold.index, m, commit);
      } else {
        this.callbacks.seek(seconds);
      }
    };
    apply(event, false);
    this.canvas.setPointerCapture(event.pointerId);
    const move = (e) => apply(e, false);
    const up = (e) => {
      apply(e, true);
      this.canvas.removeEventListener('pointermove', move);
      this.canvas.removeEventListener('pointerup', up);
    };
    this.canvas.addEventListener('pointermove', move);
    this.canvas.addEventListener('pointerup', up);
  }
}
