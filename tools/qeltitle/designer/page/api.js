// Requests to the designer's server. Every address is relative to the page's own, which carries
// the session's token, so nothing here needs to know it.

async function failure(response) {
  let message = `${response.status} ${response.statusText}`;
  try {
    message = (await response.json()).error || message;
  } catch { /* not JSON: keep the status */ }
  return new Error(message);
}

export async function getJson(path) {
  const response = await fetch(path);
  if (!response.ok) throw await failure(response);
  return response.json();
}

export async function postJson(path, body) {
  const response = await fetch(path, {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body),
  });
  if (!response.ok) throw await failure(response);
  return response.json();
}

// A frame drawn by the engine: RGBA pixels of the part `rect` of it that changed since the frame
// the request said it has (all of it otherwise), with the layout and warnings sent beside.
export async function postFrame(path, body) {
  const response = await fetch(path, {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body),
  });
  if (!response.ok) throw await failure(response);
  const width = Number(response.headers.get('X-Width'));
  const height = Number(response.headers.get('X-Height'));
  const warnings = response.headers.get('X-Warnings');
  const boxes = (response.headers.get('X-Boxes') || '').split(';').filter(Boolean)
    .map((b) => b.split(',').map(Number)).map(([x, y, w, h]) => ({ x, y, w, h }));
  const duration = Number(response.headers.get('X-Duration') || 0);
  const serial = Number(response.headers.get('X-Serial') || 0);
  const [x, y, w, h] = (response.headers.get('X-Rect') || `0,0,${width},${height}`).split(',').map(Number);
  const pixels = new Uint8ClampedArray(await response.arrayBuffer());
  return {
    width, height, pixels, boxes, duration, serial, rect: { x, y, w, h },
    warnings: warnings ? decodeURIComponent(warnings).split('\n') : [],
  };
}
