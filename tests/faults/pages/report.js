// Reports what the page sees to the site: GET /log/<what>?page=<id>&...
// Every page load gets its own id.
const page = Math.random().toString(36).slice(2);
function report(what, fields) {
  const query = new URLSearchParams(Object.assign({page: page}, fields || {}));
  return fetch('/log/' + what + '?' + query, {cache: 'no-store'});
}
function reportKeys(target, capture) {
  target.addEventListener('keydown', (event) => report('key', {key: event.key}), capture);
}
