// The share link: the source deflated into the URL's fragment
// (#source=BASE64URL), so that a snippet travels in the link alone.
const kKey = 'source=';

async function pipe(bytes, transform) {
  const stream = new Blob([bytes]).stream().pipeThrough(transform);
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

function toBase64Url(bytes) {
  let binary = '';
  for (const b of bytes) binary += String.fromCharCode(b);
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

export async function fragmentOf(source) {
  const packed = await pipe(new TextEncoder().encode(source), new CompressionStream('deflate-raw'));
  return `#${kKey}${toBase64Url(packed)}`;
}

// The source a fragment carries, or null when it carries none (or a broken one).
export async function sourceOf(fragment) {
  if (!fragment.startsWith(`#${kKey}`)) return null;
  try {
    const packed = fromBase64Url(fragment.slice(kKey.length + 1));
    return new TextDecoder().decode(await pipe(packed, new DecompressionStream('deflate-raw')));
  } catch {
    return null;
  }
}
