// Whether another site shows this page inside its own: it could lay its page over this one and lead a click
// onto Delete. (Where the host can, it forbids this itself: see the README's hosting notes.) app.js imports this
// first, so the check runs before any other part of the page: in a sandboxed frame (an opaque origin) reading
// the service worker or the browser's storage throws, and a refused page should say so, not fail on its way
// (what app.js wires before its end touches neither).
import { FRAMED } from './texts.js?v=@SU_VERSION@';

function framedByAnotherSite() {
  try {
    if (window.top === window.self) return false;
    return window.top.location.origin !== window.location.origin || window.location.origin === 'null';
  } catch {
    return true;
  }
}

// True when the page must not run here: app.js then starts nothing and shows only refuse()'s line.
export const REFUSED = framedByAnotherSite();

export function refuse() {
  const line = document.createElement('p');
  line.className = 'note';
  line.setAttribute('role', 'alert');
  line.textContent = FRAMED;
  document.body.replaceChildren(line);
}
