// The panel's JSON API. The token travels in the HttpOnly cookie the page was served with,
// so nothing here ever sees it.

// How long an answer may take: the camera's lock timeout (another process may hold the image or
// adapter that long), plus 5 s for the work itself. main.js sets it from /api/camera.
let answerWithin = 15000;
// False while the event stream is down: nothing is sent then, and nothing is queued.
let reachable = true;

export function setAnswerTimeout(ms) {
  answerWithin = ms;
}
export function setReachable(up) {
  reachable = up;
}

export async function getJson(path) {
  const response = await fetch(path, { credentials: 'same-origin', cache: 'no-store' });
  const body = await response.json();
  if (!response.ok) throw new Error(body.error ? body.error.message : response.statusText);
  return body;
}

// A failure of the request itself, told as the API tells its errors, so that it shows where
// a refusal would.
function unanswered(message) {
  return { ok: false, status: 0, unanswered: true, body: { error: { kind: 'Unreachable', message } } };
}

// Answers {ok, status, body}: a refusal is an answer to show, not a failure of the page; a
// request that got no answer is {ok: false, unanswered: true}.
export async function send(method, path, body, contentType = 'application/json') {
  if (!reachable) return unanswered('not sent: the panel is not connected');
  const raw = typeof body === 'string' || body instanceof Uint8Array;
  const payload = body === undefined ? undefined : (raw ? body : JSON.stringify(body));
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), answerWithin);
  let response;
  try {
    response = await fetch(path, {
      method,
      credentials: 'same-origin',
      headers: payload === undefined ? {} : { 'Content-Type': contentType },
      body: payload,
      signal: abort.signal,
    });
  } catch {
    clearTimeout(timer);
    return unanswered(abort.signal.aborted
      ? `no answer within ${answerWithin / 1000} s; the module's value was read again`
      : 'the panel could not be reached; the module\'s value was read again');
  }
  clearTimeout(timer);
  let answer = null;
  try {
    answer = await response.json();
  } catch {
    answer = { error: { kind: 'Http', message: `${response.status} ${response.statusText}` } };
  }
  return { ok: response.ok, status: response.status, body: answer };
}

// Every change of the panel, from this tab, another tab or another process. When the stream
// breaks, the page is told at once, and the server is asked again every second: onOpen when
// the stream is back (events may have been missed, so the page reloads everything), onGone
// when the server answers but no longer takes this tab's token (it was restarted).
export function subscribe({ onChange, onOpen, onClosed, onGone }) {
  let source = null;
  let retry = null;
  function open() {
    source = new EventSource('/api/events');
    source.addEventListener('hello', (event) => onOpen(JSON.parse(event.data)));
    source.addEventListener('change', (event) => onChange(JSON.parse(event.data)));
    source.addEventListener('error', () => {
      source.close();
      onClosed();
      if (!retry) retry = setTimeout(probe, 1000);
    });
  }
  async function probe() {
    retry = null;
    let status = 0;
    try {
      status = (await fetch('/api/camera', { credentials: 'same-origin', cache: 'no-store' })).status;
    } catch {
      status = 0;
    }
    if (status === 401) {
      onGone();
    } else if (status === 200) {
      open();
    } else {
      retry = setTimeout(probe, 1000);
    }
  }
  open();
}
