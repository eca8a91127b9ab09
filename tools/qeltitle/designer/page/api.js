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

// A frame drawn by the engine: RGBA pixels with the layout and warnings the server sent beside.
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
  const pixels = new Uint8ClampedArray(await response.arrayBuffer());
  return {
    width, height, pixels, boxes, duration,
    warnings: warnings ? decodeURIComponent(warnings).split('\n') : [],
  };
}
