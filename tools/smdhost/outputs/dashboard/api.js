// The monitor's read-only JSON API and its event stream, at paths relative
// to the page, so that the dashboard also works below a proxy's prefix.

export class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

export class Api {
  constructor() {
    this.device = null;  // adr, or null for the server's default device
  }

  url(path, params) {
    const q = new URLSearchParams();
    for (const [k, v] of Object.entries(params || {})) if (v !== undefined && v !== null) q.set(k, String(v));
    if (this.device !== null && path !== 'api/devices' && path !== 'api/catalogue') q.set('device', String(this.device));
    const qs = q.toString();
    return path + (qs ? '?' + qs : '');
  }

  // The JSON document at `path`; throws ApiError with the server's
  // {"error": "..."} text (or the status line) when it is not 200.
  async get(path, params, signal) {
    let response;
    try {
      response = await fetch(this.url(path, params), { cache: 'no-store', signal, headers: { Accept: 'application/json' } });
    } catch (e) {
      if (e.name === 'AbortError') throw e;
      throw new ApiError(0, 'no answer from the monitor');
    }
    let body = null;
    try {
      body = await response.json();
    } catch (e) {
      body = null;
    }
    if (!response.ok) {
      const text = body && typeof body.error === 'string' ? body.error : response.status + ' ' + response.statusText;
      throw new ApiError(response.status, text);
    }
    if (body === null || typeof body !== 'object') throw new ApiError(response.status, 'not a JSON object');
    return body;
  }

  // Server-sent events: `onEvent(object)` for every JSON event of the
  // selected device, `onState(open)` when the stream opens or fails. The
  // browser reconnects by itself (the server sends "retry:"); a stream the
  // browser gave up on is reopened after 5 s.
  events(onEvent, onState) {
    let source = null;
    const open = () => {
      source = new EventSource('events');
      source.onopen = () => onState(true);
      source.onerror = () => {
        onState(false);
        if (source.readyState === EventSource.CLOSED) setTimeout(open, 5000);
      };
      source.onmessage = (message) => {
        let event;
        try {
          event = JSON.parse(message.data);
        } catch (e) {
          return;  // not one of ours; the next refresh shows the state anyway
        }
        if (!event || typeof event !== 'object') return;
        if (this.device !== null && typeof event.adr === 'number' && event.adr !== this.device) return;
        onEvent(event);
      };
    };
    open();
  }
}
