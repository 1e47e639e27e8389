// The panel's JSON API. The token travels in the HttpOnly cookie the page was served with,
// so nothing here ever sees it.

export async function getJson(path) {
  const response = await fetch(path, { credentials: 'same-origin', cache: 'no-store' });
  const body = await response.json();
  if (!response.ok) throw new Error(body.error ? body.error.message : response.statusText);
  return body;
}

export async function getText(path) {
  const response = await fetch(path, { credentials: 'same-origin', cache: 'no-store' });
  if (!response.ok) throw new Error(response.statusText);
  return response.text();
}

// Answers {ok, status, body}: a refusal is an answer to show, not a failure of the page.
export async function send(method, path, body, contentType = 'application/json') {
  const raw = typeof body === 'string' || body instanceof Uint8Array;
  const payload = raw ? body : JSON.stringify(body);
  const response = await fetch(path, {
    method,
    credentials: 'same-origin',
    headers: { 'Content-Type': contentType },
    body: payload,
  });
  let answer = null;
  try {
    answer = await response.json();
  } catch {
    answer = { error: { kind: 'Http', message: `${response.status} ${response.statusText}` } };
  }
  return { ok: response.ok, status: response.status, body: answer };
}

// Every change of the panel, from this tab, another tab or another process. The browser
// reconnects by itself; onOpen then reloads everything, since events may have been missed.
export function subscribe({ onChange, onOpen, onClosed }) {
  const source = new EventSource('/api/events');
  source.addEventListener('hello', (event) => onOpen(JSON.parse(event.data)));
  source.addEventListener('change', (event) => onChange(JSON.parse(event.data)));
  source.addEventListener('error', () => onClosed());
  return () => source.close();
}
