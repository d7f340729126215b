// A plain static file server for the catalogues, bound to 127.0.0.1 on a free port.
// It sends HTML without a charset so the pages' own META declaration decides, as
// it does when the catalogue is opened from disk.
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';

const TYPES = {
    '.html': 'text/html',
    '.gif': 'image/gif',
    '.png': 'image/png',
    '.jpg': 'image/jpeg',
    '.jpeg': 'image/jpeg',
    '.bmp': 'image/bmp',
    '.txt': 'text/plain',
};

function sendFile(res, file) {
    const type = TYPES[path.extname(file).toLowerCase()] ?? 'application/octet-stream';
    res.writeHead(200, { 'Content-Type': type, 'Cache-Control': 'no-store' });
    fs.createReadStream(file).pipe(res);
}

function sendListing(res, dir) {
    const items = fs
        .readdirSync(dir, { withFileTypes: true })
        .map((d) => {
            const name = d.name + (d.isDirectory() ? '/' : '');
            return `<li><a href="${encodeURIComponent(d.name)}${d.isDirectory() ? '/' : ''}">${name}</a></li>`;
        })
        .join('\n');
    res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' });
    res.end(`<!DOCTYPE html><title>Index</title><ul>\n${items}\n</ul>`);
}

/** Serves `root`; resolves to { origin, close() }. */
export async function startServer(root) {
    const base = path.resolve(root);
    const server = http.createServer((req, res) => {
        let rel;
        const rawPath = new URL(req.url, 'http://127.0.0.1').pathname;
        try {
            rel = decodeURIComponent(rawPath);
        } catch {
            res.writeHead(400).end();
            return;
        }
        const full = path.join(base, rel);
        if (full !== base && !full.startsWith(base + path.sep)) {
            res.writeHead(403).end();
            return;
        }
        fs.stat(full, (err, st) => {
            if (err) {
                res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found');
            } else if (st.isDirectory()) {
                if (!rawPath.endsWith('/')) {
                    res.writeHead(301, { Location: rawPath + '/' }).end();
                } else if (fs.existsSync(path.join(full, 'index.html'))) {
                    sendFile(res, path.join(full, 'index.html'));
                } else {
                    sendListing(res, full);
                }
            } else {
                sendFile(res, full);
            }
        });
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const { port } = server.address();
    return {
        origin: `http://127.0.0.1:${port}`,
        close: () =>
            new Promise((resolve) => {
                server.closeAllConnections();
                server.close(resolve);
            }),
    };
}
