// Building the page's elements. Every text that comes from the line, the
// configuration or the server goes in through textContent (here and
// nowhere else through innerHTML), so that no such text is ever markup.

// el('td', {class: 'num', title: '...', data: {rect: 3}}, child, 'text', ...)
export function el(tag, props, ...children) {
  const node = document.createElement(tag);
  if (props) {
    for (const [key, value] of Object.entries(props)) {
      if (value === undefined || value === null || value === false) continue;
      if (key === 'class') node.className = value;
      else if (key === 'text') node.textContent = String(value);
      else if (key === 'data') for (const [k, v] of Object.entries(value)) node.dataset[k] = String(v);
      else if (key === 'on') for (const [k, v] of Object.entries(value)) node.addEventListener(k, v);
      else if (key in node && typeof node[key] === 'boolean') node[key] = Boolean(value);
      else node.setAttribute(key, String(value));
    }
  }
  append(node, children);
  return node;
}

function append(node, children) {
  for (const child of children) {
    if (child === undefined || child === null || child === false) continue;
    if (Array.isArray(child)) append(node, child);
    else node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
}

// Replaces the children of `node` (an element of index.html) with `children`.
export function fill(node, ...children) {
  node.replaceChildren();
  append(node, children);
  return node;
}

export function byId(id) {
  const node = document.getElementById(id);
  if (!node) throw new Error('index.html has no #' + id);
  return node;
}
