// Small but valid pictures of the four catalogue types, drawn here so the checks
// never depend on files that may change elsewhere. Each is a horizontal blend of
// two colours (JPEG: one flat colour), so pages and screenshots stay readable.
import zlib from 'node:zlib';

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
});

function crc32(buf) {
    let c = 0xffffffff;
    for (const b of buf) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

function blend(a, b, t) {
    return a.map((v, i) => Math.round(v + (b[i] - v) * t));
}

function pixelAt(x, w, from, to) {
    return blend(from, to, w > 1 ? x / (w - 1) : 0);
}

/** A TIFF block whose IFD0 holds only the EXIF orientation, in the byte order 'II' or 'MM'. */
export function exifTiff({ orientation, order }) {
    const buf = Buffer.alloc(26);
    const le = order === 'II';
    const u16 = (v, at) => (le ? buf.writeUInt16LE(v, at) : buf.writeUInt16BE(v, at));
    const u32 = (v, at) => (le ? buf.writeUInt32LE(v, at) : buf.writeUInt32BE(v, at));
    buf.write(order, 0, 'latin1');
    u16(42, 2);
    u32(8, 4); // IFD0 right after the header
    u16(1, 8);
    u16(0x0112, 10);
    u16(3, 12); // one SHORT
    u32(1, 14);
    u16(orientation, 18);
    return buf;
}

export function png(w, h, from, to, exif) {
    const chunk = (type, data) => {
        const len = Buffer.alloc(4);
        len.writeUInt32BE(data.length);
        const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
        const crc = Buffer.alloc(4);
        crc.writeUInt32BE(crc32(body));
        return Buffer.concat([len, body, crc]);
    };
    const ihdr = Buffer.alloc(13);
    ihdr.writeUInt32BE(w, 0);
    ihdr.writeUInt32BE(h, 4);
    ihdr.set([8, 2, 0, 0, 0], 8); // 8-bit RGB, no interlace
    const raw = Buffer.alloc(h * (1 + 3 * w));
    for (let y = 0; y < h; y++) {
        const row = y * (1 + 3 * w);
        for (let x = 0; x < w; x++) raw.set(pixelAt(x, w, from, to), row + 1 + 3 * x);
    }
    const sig = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
    const idat = zlib.deflateSync(raw);
    // An eXIf chunk after the image data comes too late to turn the picture.
    const turn = exif ? [chunk('eXIf', exifTiff(exif))] : [];
    const [early, late] = exif?.late ? [[], turn] : [turn, []];
    return Buffer.concat([sig, chunk('IHDR', ihdr), ...early, chunk('IDAT', idat), ...late, chunk('IEND', Buffer.alloc(0))]);
}

export function bmp(w, h, from, to) {
    const stride = (3 * w + 3) & ~3;
    const buf = Buffer.alloc(54 + stride * h);
    buf.write('BM', 0, 'latin1');
    buf.writeUInt32LE(buf.length, 2);
    buf.writeUInt32LE(54, 10);
    buf.writeUInt32LE(40, 14);
    buf.writeInt32LE(w, 18);
    buf.writeInt32LE(h, 22); // positive: rows stored bottom-up
    buf.writeUInt16LE(1, 26);
    buf.writeUInt16LE(24, 28);
    buf.writeUInt32LE(stride * h, 34);
    for (let y = 0; y < h; y++) {
        for (let x = 0; x < w; x++) {
            const [r, g, b] = pixelAt(x, w, from, to);
            buf.set([b, g, r], 54 + y * stride + 3 * x);
        }
    }
    return buf;
}

export function gif(w, h, from, to) {
    // 128 palette entries make every LZW code exactly 8 bits wide as long as a
    // clear code comes before the table grows past 255: no bit packing needed.
    const palette = Buffer.alloc(128 * 3);
    for (let i = 0; i < 128; i++) palette.set(blend(from, to, i / 127), 3 * i);
    const codes = [];
    let sinceClear = 0;
    for (let y = 0; y < h; y++) {
        for (let x = 0; x < w; x++) {
            if (sinceClear === 0) codes.push(128);
            codes.push(Math.round((w > 1 ? x / (w - 1) : 0) * 127));
            sinceClear = (sinceClear + 1) % 100;
        }
    }
    codes.push(129);
    const blocks = [];
    for (let i = 0; i < codes.length; i += 255) {
        const part = codes.slice(i, i + 255);
        blocks.push(Buffer.from([part.length, ...part]));
    }
    const screen = Buffer.alloc(7);
    screen.writeUInt16LE(w, 0);
    screen.writeUInt16LE(h, 2);
    screen.set([0xf6, 0, 0], 4); // global table of 2^(6+1) entries
    const image = Buffer.alloc(10);
    image[0] = 0x2c;
    image.writeUInt16LE(w, 5);
    image.writeUInt16LE(h, 7);
    const head = Buffer.from('GIF89a', 'latin1');
    return Buffer.concat([head, screen, palette, image, Buffer.from([7]), ...blocks, Buffer.from([0, 0x3b])]);
}

export function jpeg(w, h, colour, exif) {
    // Baseline, three components without subsampling, every quantiser 1. A flat
    // colour has only DC terms, so each block is a DC difference and an EOB.
    const [r, g, b] = colour;
    const ycc = [
        0.299 * r + 0.587 * g + 0.114 * b,
        128 - 0.168736 * r - 0.331264 * g + 0.5 * b,
        128 + 0.5 * r - 0.418688 * g - 0.081312 * b,
    ].map((v) => 8 * (Math.round(Math.min(255, Math.max(0, v))) - 128));
    const seg = (marker, body) => {
        const head = Buffer.from([0xff, marker, 0, 0]);
        head.writeUInt16BE(body.length + 2, 2);
        return Buffer.concat([head, Buffer.from(body)]);
    };
    const app1 = exif ? seg(0xe1, Buffer.concat([Buffer.from('Exif\0\0', 'latin1'), exifTiff(exif)])) : Buffer.alloc(0);
    const dqt = seg(0xdb, [0, ...new Array(64).fill(1)]);
    const sof = seg(0xc0, [8, h >> 8, h & 255, w >> 8, w & 255, 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0]);
    const dcBits = new Array(16).fill(0);
    dcBits[3] = 12; // categories 0..11, all four bits long: code = category
    const acBits = new Array(16).fill(0);
    acBits[0] = 1; // EOB alone, code "0"
    const dht = Buffer.concat([
        seg(0xc4, [0x00, ...dcBits, ...Array.from({ length: 12 }, (_, i) => i)]),
        seg(0xc4, [0x10, ...acBits, 0x00]),
    ]);
    const sos = seg(0xda, [3, 1, 0, 2, 0, 3, 0, 0, 63, 0]);

    const out = [];
    let acc = 0;
    let nbits = 0;
    const put = (value, len) => {
        for (let i = len - 1; i >= 0; i--) {
            acc = (acc << 1) | ((value >> i) & 1);
            if (++nbits === 8) {
                out.push(acc);
                if (acc === 0xff) out.push(0);
                acc = 0;
                nbits = 0;
            }
        }
    };
    const pred = [0, 0, 0];
    const blocks = Math.ceil(w / 8) * Math.ceil(h / 8);
    for (let n = 0; n < blocks; n++) {
        for (let c = 0; c < 3; c++) {
            const diff = ycc[c] - pred[c];
            pred[c] = ycc[c];
            const cat = diff === 0 ? 0 : Math.floor(Math.log2(Math.abs(diff))) + 1;
            put(cat, 4);
            if (cat) put(diff > 0 ? diff : diff + (1 << cat) - 1, cat);
            put(0, 1);
        }
    }
    if (nbits) put(0x7f, 8 - nbits); // pad with one bits
    return Buffer.concat([Buffer.from([0xff, 0xd8]), app1, dqt, sof, dht, sos, Buffer.from(out), Buffer.from([0xff, 0xd9])]);
}

/** The picture for a file name, by its ending; `n` varies the colours; `exif` turns a JPEG or PNG. */
export function pictureFor(name, w, h, n, exif) {
    const hue = (k) => [(97 * k + 40) % 256, (57 * k + 120) % 256, (151 * k + 200) % 256];
    const from = hue(n);
    const to = hue(n + 3);
    const ext = name.slice(-4).toLowerCase();
    if (ext === '.png') return png(w, h, from, to, exif);
    if (ext === '.bmp') return bmp(w, h, from, to);
    if (ext === '.gif') return gif(w, h, from, to);
    if (ext === '.jpg') return jpeg(w, h, from, exif);
    throw new Error(`no picture type for ${name}`);
}
