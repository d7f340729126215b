// The picture trees the checks run on, and their catalogues made by kavo-cli.
import fs from 'node:fs';
import path from 'node:path';
import { execFile } from 'node:child_process';
import { promisify } from 'node:util';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { pictureFor } from './pictures.js';

const run = promisify(execFile);
const REPO = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
const PICTURE_ENDINGS = ['.jpg', '.gif', '.bmp', '.png'];

export const NOT_USED = '使用していません';

// Each tree: its folder name, the kavo-cli options, the files to write (a
// picture by its ending, with a size and maybe an EXIF orientation, or a text
// file), and what its summary page must say. Pictures are counted from what is written, not from the program.
export const TREES = {
    intl: {
        folder: '写真 Été',
        options: [],
        copySamples: true,
        files: {
            'PHOTO.JPG': [120, 80],
            'café crème.png': [100, 70],
            '夕焼け 海.gif': [90, 60],
            'Ärger.bmp': [80, 60],
            'photo#1.png': [60, 60],
            'notes.txt': 'not a picture',
            '旅行/snow Field.JPG': [70, 100],
            '旅行/子供.png': [64, 64],
            'Ünïcode Ñandú/naïve.gif': [50, 50],
        },
        perPage: 50,
        table: NOT_USED,
        click: 'folder',
    },
    table: {
        folder: 'table',
        options: ['--table=3', '--per-page=5', '--click=view'],
        files: {
            'a b.png': [90, 60],
            'Bild Ä.gif': [60, 90],
            'g#2.png': [70, 70],
            'Zebra.BMP': [80, 50],
            '写真.jpg': [100, 75],
            'Sub/f.png': [40, 40],
            'Sub/g.jpg': [48, 64],
        },
        perPage: 5,
        table: '3画像／行',
        click: 'view',
    },
    many: {
        folder: 'many',
        options: ['--per-page=5', '--click=no'],
        files: Object.fromEntries(
            Array.from({ length: 60 }, (_, i) => {
                const n = String(i + 1).padStart(2, '0');
                const ext = PICTURE_ENDINGS[i % 4];
                return [`part ${i < 30 ? 1 : 2}/pic ${n}${ext}`, [48 + (i % 5) * 8, 40]];
            }),
        ),
        perPage: 5,
        table: NOT_USED,
        click: 'no',
    },
    // Phone photos: every EXIF orientation in both byte orders; 5 to 8 show turned.
    oriented: {
        folder: 'oriented',
        options: ['--click=no'],
        files: Object.fromEntries([
            ...[1, 2, 3, 4, 5, 6, 7, 8].flatMap((orientation) =>
                ['II', 'MM'].map((order) => [`o${orientation} ${order}.jpg`, [64, 40, { orientation, order }]]),
            ),
            ['turned.png', [64, 40, { orientation: 6, order: 'MM' }]],
            ['upright.png', [64, 40, { orientation: 1, order: 'II' }]],
            ['late.png', [64, 40, { orientation: 6, order: 'II', late: true }]],
        ]),
        perPage: 50,
        table: NOT_USED,
        click: 'no',
    },
    // Phone photos shown as thumbnails: every fourth one turned by its EXIF orientation.
    thumbs: {
        folder: 'thumbs',
        options: ['--thumbnails', '--click=view'],
        files: Object.fromEntries(
            Array.from({ length: 50 }, (_, i) => [
                `IMG_${String(i + 1).padStart(4, '0')}.jpg`,
                [4608, 1976, i % 4 === 1 ? { orientation: 6, order: 'II' } : undefined],
            ]),
        ),
        perPage: 50,
        table: NOT_USED,
        click: 'view',
        thumbnails: 200,
    },
    empty: {
        folder: 'empty',
        options: [],
        files: { 'readme.txt': 'no pictures here', 'nothing here/.keep': '' },
        perPage: 50,
        table: NOT_USED,
        click: 'folder',
    },
};

function isPicture(name) {
    return PICTURE_ENDINGS.includes(name.slice(-4).toLowerCase());
}

function listPictures(dir, rel = '') {
    const found = [];
    for (const d of fs.readdirSync(dir, { withFileTypes: true })) {
        const r = rel ? `${rel}/${d.name}` : d.name;
        if (d.isDirectory()) found.push(...listPictures(path.join(dir, d.name), r));
        else if (isPicture(d.name)) found.push(r);
    }
    return found;
}

function writeTree(dir, tree) {
    let n = 0;
    for (const [rel, content] of Object.entries(tree.files)) {
        const file = path.join(dir, ...rel.split('/'));
        fs.mkdirSync(path.dirname(file), { recursive: true });
        if (typeof content === 'string') fs.writeFileSync(file, content);
        else fs.writeFileSync(file, pictureFor(rel, content[0], content[1], n++, content[2]));
    }
    const samples = path.join(REPO, 'assets', 'samples');
    if (tree.copySamples && fs.existsSync(samples)) {
        fs.cpSync(samples, path.join(dir, 'samples'), { recursive: true });
    }
}

/** Writes each tree under `root`, runs kavo-cli on it, and describes the result. */
export async function makeCatalogues(root, kavoCli) {
    const cats = {};
    for (const [key, tree] of Object.entries(TREES)) {
        const dir = path.join(root, tree.folder);
        writeTree(dir, tree);
        const pictures = listPictures(dir);
        const { stdout } = await run(kavoCli, [dir, ...tree.options, '-q'], { encoding: 'utf8' });
        const summary = path.join(dir, 'index.html');
        if (path.resolve(stdout.trim()) !== summary) {
            throw new Error(`kavo-cli printed ${JSON.stringify(stdout)}, expected the summary page ${summary}`);
        }
        const pages = Math.ceil(pictures.length / tree.perPage);
        cats[key] = { key, dir, ...tree, pictures, pages };
    }
    return cats;
}

/** Addresses of a catalogue's files, over http or from disk. */
export function addressing(transport, root, origin) {
    const urlOf = (file) => {
        if (transport === 'file') return pathToFileURL(file).href;
        const rel = path.relative(root, file).split(path.sep).map(encodeURIComponent).join('/');
        return `${origin}/${rel}`;
    };
    // The file a browser address stands for, without a trailing separator.
    const fileOf = (url) => {
        const u = new URL(url);
        if (u.protocol !== (transport === 'file' ? 'file:' : 'http:')) return url; // an error page
        const file =
            transport === 'file'
                ? fileURLToPath(u)
                : path.join(root, ...decodeURIComponent(u.pathname).split('/').filter(Boolean));
        return file.replace(/\/+$/, '');
    };
    return { urlOf, fileOf };
}
