// A static server of the built page on 127.0.0.1, for a local look and the
// browser test: node serve.mjs FOLDER [PORT] (0 picks a free port; the
// address is printed on the first line).
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const kTypes = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.json': 'application/json', '.oxs': 'text/plain; charset=shift_jis', '.oxh': 'text/plain; charset=shift_jis',
};

export function serve(folder, port = 0) {
  const root = path.resolve(folder);
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://host').pathname);
    const file = path.join(root, name.endsWith('/') ? `${name}index.html` : name);
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': kTypes[path.extname(file)] ?? 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(port, '127.0.0.1', () => resolve(server)));
}

if (process.argv[1] && path.resolve(process.argv[1]) === path.resolve(new URL(import.meta.url).pathname)) {
  const server = await serve(process.argv[2] ?? '.', Number(process.argv[3] ?? 8026));
  console.log(`http://127.0.0.1:${server.address().port}/`);
}
