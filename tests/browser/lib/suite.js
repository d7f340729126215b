// The browser checks of a generated catalogue. Each suite file runs them
// for one way of opening the catalogue: over a local http server, or from disk.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { execFile } from 'node:child_process';
import { promisify } from 'node:util';
import { makeCatalogues, addressing } from './catalogues.js';
import { pictureFor } from './pictures.js';
import { startServer } from './server.js';
import {
    ARTIFACTS,
    closePage,
    frame,
    imagesIn,
    launch,
    markDocument,
    renderings,
    screenshot,
    shutDown,
    stillMarked,
    waitFor,
} from './browser.js';

const VERSION = 'Kavo Version1.02C';
const STEP_TIMEOUT = 5000;
// Each check and hook gets a bound of its own, so a stall names the step that stalled.
const CHECK_TIMEOUT = 60000;
const HOOK_TIMEOUT = 90000;

function pageName(n) {
    return `page${String(n).padStart(4, '0')}.html`;
}

export function defineChecks(transport) {
    // A line per step with its time, kept in the artifacts: a failed run shows where it was.
    const progressFile = path.join(ARTIFACTS, `progress-${transport}.txt`);
    fs.mkdirSync(ARTIFACTS, { recursive: true });
    fs.writeFileSync(progressFile, '');
    const started = Date.now();
    const progress = (line) => fs.appendFileSync(progressFile, `${((Date.now() - started) / 1000).toFixed(1)} s ${line}\n`);
    const check = (name, body) =>
        test(name, { timeout: CHECK_TIMEOUT }, async (t) => {
            progress(`start ${name}`);
            try {
                await body(t);
                progress(`passed ${name.slice(0, 2)}`);
            } catch (e) {
                progress(`failed ${name.slice(0, 2)}: ${e.message.split('\n')[0]}`);
                throw e;
            }
        });

    describe(`catalogue opened ${transport === 'http' ? 'over http' : 'from disk'}`, () => {
        let root;
        let server;
        let env;
        let cats;
        let urlOf;
        let fileOf;

        before(async () => {
            progress('making the catalogues');
            const kavoCli = process.env.KAVO_CLI;
            assert.ok(kavoCli, 'KAVO_CLI must name the kavo-cli program');
            root = fs.mkdtempSync(path.join(os.tmpdir(), `kavo-browser-${transport}-`));
            cats = await makeCatalogues(root, kavoCli);
            if (transport === 'http') server = await startServer(root);
            ({ urlOf, fileOf } = addressing(transport, root, server?.origin));
            progress('launching Chromium');
            env = await launch();
            progress('ready');
        }, { timeout: HOOK_TIMEOUT });

        after(async () => {
            if (env) {
                fs.writeFileSync(path.join(ARTIFACTS, `console-${transport}.txt`), env.messages.join('\n') + '\n');
                progress(`browser ${await shutDown(env.browser)}`);
            }
            await server?.close();
            if (root) fs.rmSync(root, { recursive: true, force: true });
            progress('done');
        }, { timeout: HOOK_TIMEOUT });

        const summaryOf = (cat) => path.join(cat.dir, 'index.html');
        const framesetOf = (cat) => path.join(cat.dir, 'kavo', 'index.html');
        const pageFile = (cat, n) => path.join(cat.dir, 'kavo', pageName(n));

        // One tab serves the checks that open a frameset; each opening replaces the last.
        let tab;
        async function openFrameset(cat) {
            tab ??= await env.context.newPage();
            await tab.goto(urlOf(framesetOf(cat)));
            return tab;
        }

        async function pageField(page) {
            return frame(page, 'frame2').locator('input[name=txtPageNo]').inputValue();
        }

        // Waits until frame3 shows page n and the navigation field reads n.
        async function expectOnPage(page, cat, n) {
            const want = pageFile(cat, n);
            await waitFor(`frame3 on ${pageName(n)}`, async () => fileOf(frame(page, 'frame3').url()) === want);
            await frame(page, 'frame3').waitForLoadState('load');
            await waitFor(`page field ${n}`, async () => (await pageField(page)) === String(n), STEP_TIMEOUT);
        }

        // Clicks and then makes sure frame3 was not replaced and the field kept its number.
        async function expectNoMove(page, cat, n, click) {
            const f3 = frame(page, 'frame3');
            await markDocument(f3);
            await click();
            await new Promise((r) => setTimeout(r, 600));
            assert.ok(await stillMarked(f3), 'frame3 must keep its document');
            assert.equal(fileOf(f3.url()), pageFile(cat, n));
            assert.equal(await pageField(page), String(n));
        }

        // A thumbnail is shown fitted into the box, turned as the photo is, and made
        // at twice that size; it carries no orientation of its own, so its stored size is the turned one.
        function expectThumbnail(cat, rel, p) {
            const [w, h, exif] = cat.files[rel];
            const [sw, sh] = exif?.orientation >= 5 ? [h, w] : [w, h];
            const fit = (box) => {
                const k = Math.min(1, box / Math.max(sw, sh));
                return [Math.max(1, Math.round(sw * k)), Math.max(1, Math.round(sh * k))];
            };
            assert.deepEqual([Number(p.width), Number(p.height)], fit(cat.thumbnails), `${cat.key}: size of ${rel}`);
            assert.deepEqual([p.naturalWidth, p.naturalHeight], fit(2 * cat.thumbnails), `${cat.key}: pixels of ${rel}`);
            assert.equal(path.dirname(fileOf(p.src)), path.join(cat.dir, 'kavo', 'thumbs'), `${cat.key}: SRC of ${rel}`);
        }

        const name1 = '1. the summary page shows the folder, its figures and the version, then forwards';
        check(name1, async (t) => {
            await Promise.all(
                Object.values(cats).map(async (cat) => {
                    const page = await env.context.newPage();
                    const started = Date.now();
                    await page.goto(urlOf(summaryOf(cat)));
                    // One look at the page, before its five seconds are up.
                    const seen = await page.evaluate(() => ({
                        cells: [...document.querySelectorAll('table td')].map((td) => td.innerText.trim()),
                        bold: [...document.querySelectorAll('b')].map((b) => b.innerText),
                        jumps: [...document.links].filter((a) => a.innerText === '１ページ目').map((a) => a.href),
                        logos: [...document.images].map((img) => img.complete && img.naturalWidth > 0),
                    }));
                    const figures = [
                        ['検索フォルダ', cat.folder],
                        ['画像数', String(cat.pictures.length)],
                        ['画像／ページ', String(cat.perPage)],
                        ['ページ数', String(cat.pages)],
                        ['テーブル', cat.table],
                    ];
                    assert.deepEqual(seen.cells, figures.flat(), cat.key);
                    assert.deepEqual(seen.bold, [VERSION], cat.key);
                    assert.deepEqual(seen.jumps.map(fileOf), [framesetOf(cat)], `${cat.key}: the link to the frameset`);
                    assert.deepEqual(seen.logos, [true], `${cat.key}: the logo must load`);
                    if (cat.key === 'intl') await screenshot(page, `summary-${transport}.png`);

                    const onFrameset = (u) => fileOf(u.href) === framesetOf(cat);
                    await page.waitForURL(onFrameset, { timeout: 8000, waitUntil: 'commit' });
                    const waited = Date.now() - started;
                    assert.ok(waited >= 4500, `${cat.key}: forwarded after ${waited} ms, expected about five seconds`);
                    t.diagnostic(`${cat.key}: on the frameset ${waited} ms after the summary page was asked for`);
                    const closed = await closePage(page);
                    if (closed !== 'closed') progress(`${cat.key}: summary tab ${closed}`);
                }),
            );
        });

        check('2. the frameset has frame1, frame2 and frame3, and every picture of the first page loads', async (t) => {
            for (const cat of Object.values(cats)) {
                const page = await openFrameset(cat);
                const names = page.frames().map((f) => f.name()).filter(Boolean).sort();
                assert.deepEqual(names, ['frame1', 'frame2', 'frame3'], cat.key);
                const f3 = frame(page, 'frame3');
                if (cat.pages > 0) {
                    assert.equal(fileOf(f3.url()), pageFile(cat, 1), `${cat.key}: frame3 starts on the first page`);
                } else {
                    // No page file exists; the frame shows the browser's "not found" page.
                    t.diagnostic(`${cat.key}: frame3 shows ${f3.url()}`);
                }
                for (const name of ['frame1', 'frame2', 'frame3']) {
                    if (name === 'frame3' && cat.pages === 0) continue; // no page was written
                    for (const img of await imagesIn(frame(page, name))) {
                        assert.ok(img.complete && img.naturalWidth > 0, `${cat.key} ${name}: broken image ${img.src}`);
                    }
                }
                if (cat.pages > 0) {
                    const pictures = await imagesIn(f3);
                    const expected = cat.pictures.slice(0, cat.perPage);
                    assert.equal(pictures.length, Math.min(cat.perPage, cat.pictures.length), cat.key);
                    // ALT reads "nnn : path"; every picture of the page must be one of the tree's.
                    const shown = pictures.map((p) => p.alt.replace(/^\d{3} : /, '')).sort();
                    if (cat.pictures.length <= cat.perPage) assert.deepEqual(shown, [...expected].sort(), cat.key);
                    for (const p of pictures) {
                        const rel = p.alt.replace(/^\d{3} : /, '');
                        assert.ok(cat.pictures.includes(rel), `${cat.key}: unknown ALT ${p.alt}`);
                        if (cat.thumbnails) {
                            expectThumbnail(cat, rel, p);
                            continue;
                        }
                        assert.equal(fileOf(p.src), path.join(cat.dir, ...rel.split('/')), `${cat.key}: SRC of ${rel}`);
                        assert.equal(Number(p.width), p.naturalWidth, `${cat.key}: WIDTH of ${p.alt}`);
                        assert.equal(Number(p.height), p.naturalHeight, `${cat.key}: HEIGHT of ${p.alt}`);
                        // A quarter turn shows the stored size swapped: the written size must follow it.
                        const made = cat.files[rel]; // the bundled samples were not made here
                        if (Array.isArray(made)) {
                            const [w, h, exif] = made;
                            const shown = exif?.orientation >= 5 && !exif.late ? [h, w] : [w, h];
                            assert.deepEqual([Number(p.width), Number(p.height)], shown, `${cat.key}: size of ${rel}`);
                        }
                    }
                }
                if (cat.key === 'table') {
                    const rows = await f3.locator('table tr').evaluateAll((trs) => trs.map((tr) => tr.cells.length));
                    assert.deepEqual(rows.filter(Boolean), [3, 2], 'table: rows of three cells');
                    await screenshot(page, `table-page-${transport}.png`);
                }
            }
        });

        check('3. a click on the heading 目次 shows the page list, another click hides it', async () => {
            for (const cat of Object.values(cats)) {
                const page = await openFrameset(cat);
                const f1 = frame(page, 'frame1');
                const list = f1.locator('#PageList');
                const display = () => list.evaluate((e) => getComputedStyle(e).display);
                assert.equal(await display(), 'none', `${cat.key}: the list starts hidden`);
                await f1.getByText('目次', { exact: true }).click();
                await waitFor('the page list to show', async () => (await display()) !== 'none');
                const links = await list.locator('a').allInnerTexts();
                const want = Array.from({ length: cat.pages }, (_, i) => `Page${String(i + 1).padStart(4, '0')}.html`);
                assert.deepEqual(links.map((s) => s.trim()), want, cat.key);
                if (cat.pages > 0) assert.ok(await list.locator('a').last().isVisible(), `${cat.key}: the links show`);
                if (cat.key === 'many') await screenshot(page, `frameset-list-${transport}.png`);
                if (cat.key === 'intl') await screenshot(page, `catalogue-${transport}.png`);
                await f1.getByText('目次', { exact: true }).click();
                await waitFor('the page list to hide', async () => (await display()) === 'none');
            }
        });

        check('4. a page link loads its page into frame3 and writes its number into the page field', async () => {
            const cat = cats.many;
            const page = await openFrameset(cat);
            const f1 = frame(page, 'frame1');
            await f1.getByText('目次', { exact: true }).click();
            for (const n of [3, 11, 1, 12]) {
                await f1.getByText(`Page${String(n).padStart(4, '0')}.html`, { exact: true }).click();
                await expectOnPage(page, cat, n);
            }
            // The field drives the next step: after a link to page 11, "next" leads to 12.
            await f1.getByText('Page0011.html', { exact: true }).click();
            await expectOnPage(page, cat, 11);
            await frame(page, 'frame2').locator('input[name=btnNexr]').click();
            await expectOnPage(page, cat, 12);
        });

        check('5. next and previous step through the pages and stop at the first and the last', async () => {
            const cat = cats.many;
            const page = await openFrameset(cat);
            const f2 = frame(page, 'frame2');
            const prev = f2.locator('input[name=btnPrev]');
            const next = f2.locator('input[name=btnNexr]');
            assert.match(await f2.locator('body').innerText(), new RegExp(`ページ：\\s*/\\s*${cat.pages}`));
            await expectOnPage(page, cat, 1);
            await expectNoMove(page, cat, 1, () => prev.click());
            for (let n = 2; n <= cat.pages; n++) {
                await next.click();
                await expectOnPage(page, cat, n);
            }
            assert.equal(path.basename(fileOf(frame(page, 'frame3').url())), pageName(cat.pages));
            await expectNoMove(page, cat, cat.pages, () => next.click());
            await prev.click();
            await expectOnPage(page, cat, cat.pages - 1);

            // With no page at all the count reads 0 and neither control moves.
            const empty = await openFrameset(cats.empty);
            const e2 = frame(empty, 'frame2');
            assert.match(await e2.locator('body').innerText(), /ページ：\s*\/\s*0/);
            const before = frame(empty, 'frame3').url();
            await e2.locator('input[name=btnNexr]').click();
            await e2.locator('input[name=btnPrev]').click();
            await new Promise((r) => setTimeout(r, 400));
            assert.equal(frame(empty, 'frame3').url(), before);
            assert.equal(await e2.locator('input[name=txtPageNo]').inputValue(), '1');
        });

        check('6. a click on a picture opens its folder, shows the picture, or does nothing, as set', async (t) => {
            const click = async (cat, rel) => {
                const page = await openFrameset(cat);
                const f3 = frame(page, 'frame3');
                await f3.locator(`img[alt$=" : ${rel}"]`).click();
                return { page, f3 };
            };

            // Folder: a picture in a subfolder and one in the chosen folder itself.
            for (const rel of ['旅行/子供.png', 'PHOTO.JPG', 'Ünïcode Ñandú/naïve.gif']) {
                const { page, f3 } = await click(cats.intl, rel);
                const want = path.dirname(path.join(cats.intl.dir, ...rel.split('/')));
                await waitFor(`frame3 on the folder of ${rel}`, async () => fileOf(f3.url()) === want);
                t.diagnostic(`folder ${rel}: ${f3.url()}`);
            }

            // View: the picture itself, also with a space, a hash, Japanese and accents in its name.
            for (const rel of ['写真.jpg', 'g#2.png', 'a b.png', 'Bild Ä.gif']) {
                const { page, f3 } = await click(cats.table, rel);
                const want = path.join(cats.table.dir, ...rel.split('/'));
                await waitFor(`frame3 on ${rel}`, async () => fileOf(f3.url()) === want);
                await f3.waitForLoadState('load');
                const [img] = await imagesIn(f3);
                assert.ok(img && img.naturalWidth > 0, `the picture ${rel} shows in frame3`);
            }

            // No: the picture is not a link and a click leaves the page where it is.
            const page = await openFrameset(cats.many);
            const f3 = frame(page, 'frame3');
            assert.ok((await imagesIn(f3)).every((img) => !img.linked), 'no picture is linked');
            await expectNoMove(page, cats.many, 1, () => f3.locator('img').first().click());
        });

        check('7. the Japanese texts render with real glyphs', async () => {
            const cat = cats.intl;
            const checks = [];
            // The summary page forwards after five seconds; a rendering that
            // straddles the forward is taken again on a fresh copy of the page.
            const summary = await env.context.newPage();
            const render = async (text) => {
                for (let attempt = 1; ; attempt++) {
                    const f = summary.mainFrame();
                    if (!(await stillMarked(f))) {
                        await summary.goto(urlOf(summaryOf(cat)));
                        await markDocument(f);
                    }
                    try {
                        const r = await renderings(summary, f, text);
                        if (await stillMarked(f)) return r;
                    } catch (e) {
                        if (attempt >= 3) throw e;
                    }
                    if (attempt >= 3) throw new Error(`the summary page kept forwarding while ${text} was drawn`);
                }
            };
            const texts = ['検索フォルダ', '画像数', '画像／ページ', 'ページ数', 'テーブル', '使用していません'];
            texts.push('写真', '５秒後に', '１ページ目'); // the folder name and the forward sentence
            for (const text of texts) checks.push([`summary page: ${text}`, await render(text)]);
            const closed = await closePage(summary);
            if (closed !== 'closed') progress(`summary tab of check 7 ${closed}`);
            const page = await openFrameset(cat);
            checks.push(['tree frame heading 目次', await renderings(page, frame(page, 'frame1'), '目次')]);
            const label = await renderings(page, frame(page, 'frame2'), 'ページ：');
            checks.push(['navigation label ページ：', label]);
            for (const [what, r] of checks) {
                assert.ok(r.rect.width > 0 && r.rect.height > 0, `${what}: laid out`);
                // A missing glyph draws either nothing or an empty box, depending on the fallback font.
                assert.ok(!r.real.equals(r.blank), `${what}: nothing is drawn (no Japanese font?)`);
                assert.ok(!r.real.equals(r.boxes), `${what}: drawn as empty-glyph boxes (no Japanese font?)`);
            }
        });

        check('8. a page of fifty thumbnails is ready quickly, each at its size, and a click shows the photo', async (t) => {
            const cat = cats.thumbs;
            const page = await env.context.newPage();
            // Ready: every picture of the page decoded, timed from the start of the navigation.
            const readyMs = async () => {
                await page.goto(urlOf(pageFile(cat, 1)));
                return page.evaluate(async () => {
                    await Promise.all([...document.images].map((img) => img.decode()));
                    return performance.now();
                });
            };
            await readyMs(); // the first opening starts the browser's own caches
            const times = [];
            for (let i = 0; i < 3; i++) times.push(await readyMs());
            const best = Math.min(...times);
            t.diagnostic(`fifty thumbnails ready after ${times.map((ms) => ms.toFixed(0)).join(', ')} ms`);
            assert.ok(best <= 300, `the page of thumbnails took ${best.toFixed(0)} ms`);
            const shown = await page.evaluate(() =>
                [...document.images].map((img) => [img.getBoundingClientRect().width, img.getBoundingClientRect().height,
                    Number(img.getAttribute('width')), Number(img.getAttribute('height'))]),
            );
            assert.equal(shown.length, 50);
            for (const [w, h, ww, hh] of shown) assert.deepEqual([w, h], [ww, hh], 'drawn at the size the page claims');
            await screenshot(page, `thumbnails-${transport}.png`);
            await closePage(page);

            const tab = await openFrameset(cat);
            const f3 = frame(tab, 'frame3');
            await f3.locator('img[alt$=" : IMG_0002.jpg"]').click();
            const want = path.join(cat.dir, 'IMG_0002.jpg');
            await waitFor('frame3 on the photo itself', async () => fileOf(f3.url()) === want);
        });

        check('9. photos left without thumbnails stay inside the box, and the page no wider than the window', async () => {
            // The thumbnails cannot be written (a file stands where their folder goes):
            // the photos themselves are shown, each fitted into the 200-pixel box.
            const dir = path.join(root, 'no thumbnails');
            fs.mkdirSync(path.join(dir, 'kavo'), { recursive: true });
            fs.writeFileSync(path.join(dir, 'kavo', 'thumbs'), 'in the way');
            fs.writeFileSync(path.join(dir, 'tall.jpg'), pictureFor('tall.jpg', 1976, 4608, 1));
            fs.writeFileSync(path.join(dir, 'wide.jpg'), pictureFor('wide.jpg', 4608, 1976, 2));
            const made = await promisify(execFile)(process.env.KAVO_CLI, [dir, '--thumbnails', '-q']).catch((e) => e);
            assert.equal(made.code ?? 0, 3, 'the thumbnail folder is reported as not written');
            const page = await env.context.newPage();
            await page.goto(urlOf(path.join(dir, 'kavo', pageName(1))));
            const shown = await page.evaluate(async () => {
                await Promise.all([...document.images].map((img) => img.decode()));
                const sizes = [...document.images].map((img) => [img.getBoundingClientRect().width, img.getBoundingClientRect().height]);
                return { sizes, wide: document.documentElement.scrollWidth, window: window.innerWidth };
            });
            assert.deepEqual(shown.sizes, [[86, 200], [200, 86]]);
            assert.ok(shown.wide <= shown.window, `the page is ${shown.wide} px wide in a window of ${shown.window}`);
            await closePage(page);
        });
    });
}
