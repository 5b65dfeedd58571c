// Page-side half of the page automation: keeps element references by id and
// answers each request with an explicitly typed result. Runs in an isolated
// script world, so the page's own scripts cannot see or disturb it, while the
// DOM (and the events dispatched on it) is shared with them.
(function () {
  'use strict';
  if (window.__quarvelAgent) return;

  const token = Math.random().toString(36).slice(2) + Date.now().toString(36);
  const refs = new Map();  // id -> object
  const scopes = new Map();  // scope -> Set of ids
  let nextId = 1;

  // Names the old engine's automation accepted in any letter case.
  const canonical = {};
  for (const name of ['id', 'innerText', 'outerHTML', 'innerHTML', 'tagName', 'documentElement',
                      'getElementsByTagName', 'body', 'value', 'name', 'title', 'href', 'type',
                      'checked', 'style', 'display', 'focus', 'click', 'length', 'item',
                      'className', 'disabled', 'src']) {
    canonical[name.toLowerCase()] = name;
  }

  function register(scope, object) {
    const id = nextId++;
    refs.set(id, object);
    let set = scopes.get(scope);
    if (!set) scopes.set(scope, set = new Set());
    set.add(id);
    return id;
  }

  function wrap(scope, value) {
    if (value === undefined) return {t: 'undef'};
    if (value === null) return {t: 'null'};
    switch (typeof value) {
      case 'string': return {t: 's', v: value};
      case 'number': return {t: 'n', v: value};
      case 'boolean': return {t: 'b', v: value};
      case 'function': return {t: 'func'};
      case 'object': return {t: 'ref', id: register(scope, value)};
      default: return {t: 's', v: String(value)};
    }
  }

  function unwrap(value) {
    if (!value || typeof value !== 'object') return value;
    switch (value.t) {
      case 's': case 'n': case 'b': return value.v;
      case 'null': return null;
      case 'ref': return target(value);
      default: return undefined;
    }
  }

  function target(ref) {
    if (ref.id === 0) return document;
    const object = refs.get(ref.id);
    if (object === undefined) throw new Error('released reference');
    return ref.index === undefined || ref.index < 0 ? object : object[ref.index];
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

  function get(object, name) {
    const lower = name.toLowerCase();
    if (lower === 'all' && object.getElementsByTagName && !(name in object)) return all(object);
    if (lower === 'length' && Array.isArray(object)) return object.length;
    const resolved = resolve(object, name);
    if (resolved === null) return {missing: true};
    return object[resolved];
  }

  function fireEvent(element, name) {
    if (typeof name !== 'string' || !/^on[a-z]+$/i.test(name)) throw new Error('bad event');
    const type = name.slice(2).toLowerCase();
    // A plain event: listeners run, but like the old fireEvent it performs no
    // default action (a fired onclick does not toggle a checkbox).
    return element.dispatchEvent(new Event(type, {bubbles: true, cancelable: true}));
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
    if (resolved === null || typeof object[resolved] !== 'function') return {missing: true};
    return object[resolved].apply(object, args);
  }

  function answer(scope, value) {
    if (value && typeof value === 'object' && value.missing === true &&
        Object.keys(value).length === 1) {
      return {t: 'missing'};
    }
    return wrap(scope, value);
  }

  const SNAPSHOT_TEXT = new Set(['innertext', 'innerText']);

  // Rows [start, start + count) of a list: the named properties of each item.
  // Where a kind filter is given, an item whose first property, lower-cased,
  // is none of the filter's pieces is sent as null: the caller passes it over.
  // A text property whose length differs from textLength is sent as null: it
  // cannot equal the text the caller compares with.
  // The length of a live collection is not asked for: on a large page that
  // alone walks the whole document.
  function rows(items, q) {
    const out = [];
    const props = q.props;
    for (let i = q.start; i < q.start + q.count; ++i) {
      const e = items[i];
      if (e === undefined) break;
      const row = new Array(props.length);
      let skip = false;
      for (let p = 0; p < props.length && !skip; ++p) {
        // A property the element lacks reads as empty text; an object is no text.
        let v = get(e, props[p]);
        if (v === undefined || v === null) v = '';
        else if (typeof v === 'object') v = v.missing ? '' : null;
        else v = String(v);
        if (p === 0 && q.kinds && !q.kinds.includes(v === null ? '' : v.toLowerCase())) {
          skip = true;
        }
        if (v !== null && SNAPSHOT_TEXT.has(props[p]) && q.textLength >= 0 &&
            v.length !== q.textLength) {
          v = null;
        }
        row[p] = v;
      }
      out.push(skip ? null : row);
    }
    return out;
  }

  function snapshot(scope, list, q) {
    return {t: 'snap', id: register(scope, list), rows: rows(list, q)};
  }

  function run(request) {
    try {
      if (request.token !== undefined && request.token !== token) return {t: 'stale'};
      if (request.ops) for (const op of request.ops) op.scope = request.scope;
      if (request.release) {
        for (const id of request.release) refs.delete(id);
      }
      const scope = request.scope || 0;
      switch (request.op) {
        case 'hello': return {t: 'hello', token: token};
        case 'drop': {
          const set = scopes.get(scope);
          if (set) for (const id of set) refs.delete(id);
          scopes.delete(scope);
          return {t: 'b', v: true};
        }
        case 'get': return answer(scope, get(target(request.ref), request.name));
        case 'put': {
          const object = target(request.ref);
          const resolved = resolve(object, request.name) || request.name;
          object[resolved] = unwrap(request.value);
          return {t: 'b', v: true};
        }
        case 'call':
          return answer(scope, call(target(request.ref), request.name,
                                    (request.args || []).map(unwrap)));
        case 'fire': {  // reads the handler property, then FireEvent with it
          const element = target(request.ref);
          get(element, request.name);
          return {t: 'b', v: fireEvent(element, request.name)};
        }
        case 'snapshot': return snapshot(scope, target(request.ref), request);
        case 'snapshotTag':
          return snapshot(scope, target(request.ref).getElementsByTagName(request.tag), request);
        case 'rows': return {t: 'rows', rows: rows(target(request.ref), request)};
        case 'batch': return {t: 'batch', answers: request.ops.map((op) => run(op))};
        case 'count': return {t: 'n', v: refs.size};
        default: return {t: 'err', v: 'unknown op'};
      }
    } catch (e) {
      return {t: 'err', v: String(e && e.message || e)};
    }
  }

  window.__quarvelAgent = {run: run, token: token};
})();
