// Page-side half of the page automation: keeps page objects by id, answers
// each request with one string (see agent_protocol.h) and runs the element
// search where the elements are. Runs in an isolated script world, so the
// page's own scripts cannot see or disturb it, while the DOM (and the events
// dispatched on it) is shared with them.
(function () {
  'use strict';
  if (window.__quarvelAgent) return;

  const token = Math.random().toString(36).slice(2) + Date.now().toString(36);
  const refs = new Map();  // id -> object
  const scopes = new Map();  // scope -> Set of ids
  let nextId = 1;
  const MISSING = Object.freeze({});
  const HTML = 'http://www.w3.org/1999/xhtml';

  // Names the old engine's automation accepted in any letter case.
  const canonical = {};
  for (const name of ['id', 'innerText', 'outerHTML', 'innerHTML', 'tagName', 'documentElement',
                      'getElementsByTagName', 'body', 'value', 'name', 'title', 'href', 'type',
                      'checked', 'style', 'display', 'focus', 'click', 'length', 'item',
                      'className', 'disabled', 'src', 'readyState']) {
    canonical[name.toLowerCase()] = name;
  }

  // The input types the old engine knew; any other type attribute read "text".
  const INPUT_TYPES = new Set(['text', 'password', 'checkbox', 'radio', 'submit', 'reset', 'file',
                               'hidden', 'image', 'button']);

  function isInput(object) {
    return object.nodeType === 1 && object.localName === 'input' && object.namespaceURI === HTML;
  }

  // An input's type as the old engine reported it. A <button> keeps what this
  // engine reports ("submit" unless its type says "button" or "reset"), which
  // is also what a click on it does here.
  function legacyInputType(input) {
    const attribute = input.getAttribute('type');
    if (attribute === null) return 'text';
    const type = attribute.toLowerCase();
    // Letter case is ignored in ASCII only, as the engines do.
    return INPUT_TYPES.has(type) && /^[a-zA-Z]+$/.test(attribute) ? type : 'text';
  }

  function register(scope, object) {
    const id = nextId++;
    refs.set(id, object);
    let set = scopes.get(scope);
    if (!set) scopes.set(scope, set = new Set());
    set.add(id);
    return id;
  }

  function target(id) {
    if (id === 0) return document;
    const object = refs.get(id);
    if (object === undefined) throw new Error('released reference');
    return object;
  }

  function unwrap(value) {
    if (!value || typeof value !== 'object') return value;
    switch (value.t) {
      case 's': case 'n': case 'b': return value.v;
      case 'null': return null;
      case 'ref': return target(value.id);
      default: return undefined;
    }
  }

  function resolve(object, name) {
    if (name in object) return name;
    const known = canonical[name.toLowerCase()];
    if (known && known in object) return known;
    return null;
  }

  // Descendants of an element ("all") and the filter of that list ("tags").
  function all(object) {
    const list = Array.from(object.getElementsByTagName('*'));
    list.__quarvelAll = true;
    return list;
  }

  // A property by name. An element property that this engine lacks reads as
  // the attribute of that name, as the old engine showed attributes as
  // properties (a span's "name").
  function get(object, name) {
    const lower = name.toLowerCase();
    if (lower === 'all' && object.getElementsByTagName && !(name in object)) return all(object);
    if (lower === 'length' && Array.isArray(object)) return object.length;
    const resolved = resolve(object, name);
    if (resolved === 'type' && isInput(object)) return legacyInputType(object);
    if (resolved !== null) return object[resolved];
    if (object instanceof Element && object.hasAttribute(name)) return object.getAttribute(name);
    return MISSING;
  }

  function put(object, name, value) {
    const resolved = resolve(object, name);
    if (resolved === null && object instanceof Element) {
      object.setAttribute(name, value === undefined || value === null ? '' : String(value));
    } else {
      object[resolved || name] = value;
    }
  }

  // A text property compared by the element search: its text, '' where the
  // element has none, null where it holds something that is no text.
  function text(element, name) {
    let value;
    // innerText of an element without children is empty; asking the engine
    // would lay the page out first.
    if (name === 'innertext') value = element.firstChild === null ? '' : element.innerText;
    else value = get(element, name);
    if (value === undefined || value === null || value === MISSING) return '';
    if (typeof value === 'object' || typeof value === 'function') return null;
    return String(value);
  }

  // Events as the old engine raised them: of their own event class, blur and
  // focus without bubbling, and without the default action (a fired onclick
  // does not follow a link, submit a form or toggle a box).
  const MOUSE_EVENTS = new Set(['click', 'dblclick', 'mousedown', 'mouseup', 'mouseover',
                                'mouseout', 'mousemove', 'contextmenu']);
  const KEY_EVENTS = new Set(['keydown', 'keypress', 'keyup']);
  const NOT_BUBBLING = new Set(['blur', 'focus', 'mouseenter', 'mouseleave', 'load', 'unload',
                                'rowenter']);

  function makeEvent(type) {
    const bubbles = !NOT_BUBBLING.has(type);
    if (MOUSE_EVENTS.has(type)) {
      return new MouseEvent(type, {bubbles: true, cancelable: true, view: window,
                                   detail: type === 'dblclick' ? 2 : 1});
    }
    if (KEY_EVENTS.has(type)) {
      return new KeyboardEvent(type, {bubbles: true, cancelable: true, view: window});
    }
    if (type === 'focus' || type === 'blur' || type === 'focusin' || type === 'focusout') {
      return new FocusEvent(type, {bubbles: bubbles, cancelable: false, view: window});
    }
    if (type === 'change' || type === 'input' || type === 'select') {
      return new Event(type, {bubbles: true, cancelable: false});
    }
    return new Event(type, {bubbles: bubbles, cancelable: true});
  }

  function fireEvent(element, name) {
    if (typeof name !== 'string' || !/^on[a-z]+$/i.test(name)) throw new Error('bad event');
    const type = name.slice(2).toLowerCase();
    const event = makeEvent(type);
    if (type !== 'click') return element.dispatchEvent(event);
    // A click event does the default action of the element (or of one around
    // it) once every listener has run, unless it is cancelled: a listener of
    // ours, added last on the window, cancels it there. A checkbox turns
    // itself over before the listeners run; turned the other way first, its
    // listeners see it as it is.
    const box = isInput(element) && element.type === 'checkbox';
    const checked = box && element.checked;
    if (box) element.checked = !checked;
    let reached = false;
    let cancelled = false;
    const last = (e) => {
      if (e !== event) return;
      reached = true;
      cancelled = e.defaultPrevented;
      e.preventDefault();
    };
    window.addEventListener('click', last);
    try {
      element.dispatchEvent(event);
    } finally {
      window.removeEventListener('click', last);
      if (box) element.checked = checked;
    }
    return !(reached ? cancelled : event.defaultPrevented);
  }

  function call(object, name, args) {
    const lower = name.toLowerCase();
    if (lower === 'fireevent') return fireEvent(object, args[0]);
    if (lower === 'tags' && (object.__quarvelAll || object instanceof HTMLCollection)) {
      const tag = String(args[0]).toUpperCase();
      return Array.from(object).filter((e) => e.tagName === tag);
    }
    if (lower === 'item' && Array.isArray(object)) return object[args[0]];
    const resolved = resolve(object, name);
    if (resolved === null || typeof object[resolved] !== 'function') return MISSING;
    return object[resolved].apply(object, args);
  }

  // A long text (a whole page's HTML) is kept here and fetched in parts, all
  // asked for at once: the parts travel while the next is being taken out,
  // and the text is not copied once more to put the reply's letter in front.
  // Only the newest long text is kept.
  const PART = 1 << 18;  // UTF-16 units; PageSession::kPartUnits
  let long = null;  // {id, text}
  let nextLong = 1;

  function textReply(value) {
    const loading = document.readyState === 'loading';
    if (value.length <= PART) return (loading ? 'L' : 'T') + value;
    long = {id: nextLong++, text: value};
    return JSON.stringify({t: 'long', id: long.id, v: value.length, loading: loading});
  }

  // Units [from, to) of long text id, or null when that text is not kept.
  // A surrogate pair across a bound goes with the part it starts in: half a
  // pair would not survive the way out. The last part lets the text go.
  function part(key, id, from, to) {
    if (key !== token || long === null || long.id !== id) return null;
    const value = long.text;
    const bound = (at) => {
      if (at <= 0 || at >= value.length) return at;
      const high = value.charCodeAt(at - 1), low = value.charCodeAt(at);
      return high >= 0xD800 && high <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF ? at + 1 : at;
    };
    if (to >= value.length) long = null;
    return value.slice(bound(from), bound(to));
  }

  function reply(scope, value) {
    if (value === MISSING) return '{"t":"missing"}';
    if (value === undefined) return '{"t":"undef"}';
    if (value === null) return '{"t":"null"}';
    switch (typeof value) {
      case 'string': return textReply(value);
      case 'number': return JSON.stringify({t: 'n', v: Number.isFinite(value) ? value : 0});
      case 'boolean': return value ? '{"t":"b","v":true}' : '{"t":"b","v":false}';
      case 'function': return '{"t":"func"}';
      case 'object': return JSON.stringify({t: 'ref', id: register(scope, value)});
      default: return textReply(String(value));
    }
  }

  // The element search (FindElements): which elements are visited, counted
  // and compared, and what is done to the first one chosen. Each element is
  // taken from its collection once; the write, every event and the element
  // handed back are that element, whatever the page's handlers insert or
  // remove meanwhile.
  const COMPARED = ['name', 'ID', 'value', 'innertext', 'title', 'href'];
  const WRITTEN = ['innertext', 'value', 'name', 'ID'];

  function find(scope, q) {
    let counter = 0;
    let skip = q.skip;
    const ordinal = () => Math.abs(q.num - ++counter) <= 1e-7;
    // An attribute match, passed over while skipCount lasts.
    const take = () => {
      if (skip > 0) {
        --skip;
        return false;
      }
      return true;
    };
    const found = (result, element) => JSON.stringify(
        {t: 'found', v: result, id: element ? register(scope, element) : 0});

    // Flags first, in the order focus, display, hand back.
    function flagged(e) {
      if (q.focus) {
        e.focus();
        return found(true);
      }
      if (q.display) {
        if (!e.style) return found(false);
        e.style.display = q.shown ? 'block' : 'none';
        return found(true);
      }
      if (q.ret) return found(true, e);
      return undefined;
    }

    function act(e, by) {
      const answer = flagged(e);
      if (answer !== undefined) return answer;
      let property;
      let value;
      let events;
      if (q.operation >= 0 && q.operation <= 3) {
        property = WRITTEN[q.operation];
        value = q.value;
        events = by === 'href' ? [] : ['onkeyup', 'onblur'];
        if (q.operation === 1 && by === 'name') events.push('onchange');
      } else if (q.operation === 4 || q.operation === 5) {
        property = 'checked';
        value = q.operation === 4 ? 1 : 0;
        events = ['onclick'];
      } else if (q.operation === 6) {
        e.click();
        return found(true);
      } else {
        return undefined;  // not matched: the search goes on
      }
      let written = true;
      try {
        put(e, property, value);
      } catch (error) {
        written = false;
      }
      for (const name of events) {
        try {
          fireEvent(e, name);
        } catch (error) {
          // A failing event is the page's business.
        }
      }
      return found(written);
    }

    function matchingStep(e) {
      if (ordinal()) return act(e, 'ordinal');
      for (const name of COMPARED) {
        if (text(e, name) !== q.id) continue;
        if (!take()) return undefined;
        return act(e, name);
      }
      return undefined;
    }

    function titledStep(e) {
      const title = text(e, 'title');
      if (!title) return undefined;  // neither counted nor matched
      const chosen = ordinal() || ((title === q.id || text(e, 'href') === q.id) && take());
      if (!chosen) return undefined;
      const answer = flagged(e);
      if (answer !== undefined) return answer;
      e.click();
      return found(true);
    }

    function spanStep(e) {
      let chosen = ordinal();
      for (let k = 0; !chosen && k < 4; ++k) {
        if (text(e, ['name', 'ID', 'innertext', 'title'][k]) !== q.id) continue;
        if (!take()) return undefined;
        chosen = true;
      }
      if (!chosen) return undefined;
      e.click();
      return found(true);
    }

    function listItemStep(e) {
      const chosen = ordinal() ||
          ((text(e, 'innertext') === q.id || text(e, 'ID') === q.id) && take());
      if (!chosen) return undefined;
      try {
        put(e, 'value', undefined);
      } catch (error) {
        // as a failed write: the event still follows
      }
      fireEvent(e, 'onclick');
      return found(true);
    }

    for (const piece of q.tags) {
      let items;
      let step;
      if (q.path === 'span' || q.path === 'ul') {
        // document.body.all.tags(…)
        if (!document.body) continue;
        items = document.body.getElementsByTagName(q.path === 'span' ? 'span' : 'li');
        step = q.path === 'span' ? spanStep : listItemStep;
      } else {
        items = document.getElementsByTagName(piece);
        step = q.path === 'title' ? titledStep : null;
      }
      const byTagName = piece === 'a' || piece === 'cite' || piece === 'img' || piece === 'div';
      // Indexed in order until the end: asking a live collection for its
      // length first would walk the whole document.
      for (let i = 0;; ++i) {
        const e = items[i];
        if (e === undefined) break;
        if (step) {
          const answer = step(e);
          if (answer !== undefined) return answer;
          continue;
        }
        let kind;
        if (byTagName) kind = e.tagName.toLowerCase();
        else if (isInput(e)) kind = legacyInputType(e);
        else kind = (text(e, 'type') || '').toLowerCase();
        for (const type of q.types) {
          if (kind !== type) continue;
          const answer = matchingStep(e);
          if (answer !== undefined) return answer;
        }
      }
    }
    return '{"t":"b","v":false}';
  }

  function run(request) {
    try {
      if (request.token !== undefined && request.token !== token) return '{"t":"stale"}';
      if (request.release) {
        for (const id of request.release) refs.delete(id);
      }
      const scope = request.scope || 0;
      switch (request.op) {
        case 'hello': return JSON.stringify({t: 'hello', token: token});
        case 'drop': {
          const set = scopes.get(scope);
          if (set) for (const id of set) refs.delete(id);
          scopes.delete(scope);
          long = null;
          return '{"t":"b","v":true}';
        }
        case 'get': {  // a property, or a path of them of which only the last is kept
          let object = target(request.ref);
          const names = request.path;
          for (let k = 0; k + 1 < names.length; ++k) {
            object = get(object, names[k]);
            if (object === null || object === undefined || object === MISSING ||
                typeof object !== 'object') {
              return reply(scope, object);
            }
          }
          return reply(scope, get(object, names[names.length - 1]));
        }
        case 'put':
          put(target(request.ref), request.name, unwrap(request.value));
          return '{"t":"b","v":true}';
        case 'call':
          return reply(scope, call(target(request.ref), request.name,
                                   (request.args || []).map(unwrap)));
        case 'fire': {  // reads the handler property, then FireEvent with it
          const element = target(request.ref);
          get(element, request.name);
          return reply(scope, fireEvent(element, request.name));
        }
        case 'find': return find(scope, request);
        case 'count': return JSON.stringify({t: 'n', v: refs.size});
        default: return '{"t":"err","v":"unknown op"}';
      }
    } catch (e) {
      return JSON.stringify({t: 'err', v: String(e && e.message || e)});
    }
  }

  window.__quarvelAgent = {run: run, part: part, token: token};
})();
