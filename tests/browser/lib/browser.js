// Launching Debian's Chromium through playwright-core, and the helpers the checks share.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const ARTIFACTS = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', 'artifacts');

export async function launch() {
    const browser = await chromium.launch({
        executablePath: process.env.KAVO_CHROMIUM ?? '/usr/bin/chromium',
        headless: true,
        args: [
            '--no-sandbox',
            '--disable-gpu',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
            '--no-first-run',
            '--disable-quic',
        ],
    });
    // A new context is a fresh profile: no cache, cookies or history from elsewhere.
    const context = await browser.newContext({ viewport: { width: 960, height: 640 }, deviceScaleFactor: 1 });
    // A step that stalls must fail with its own message, well inside the test's time.
    context.setDefaultTimeout(15000);
    context.setDefaultNavigationTimeout(20000);
    const messages = [];
    context.on('console', (m) => messages.push(`${m.type()}: ${m.text()} (${m.location().url})`));
    context.on('weberror', (e) => messages.push(`pageerror: ${e.error().message}`));
    return { browser, context, messages };
}

/**
 * Closes the browser, but never waits on it for long: a Chromium that does not
 * answer is killed, so a suite cannot hang after its checks are done.
 */
export async function shutDown(browser, grace = 10000) {
    const outcome = await within(browser.close().then(() => 'closed', () => 'failed'), grace, 'expired');
    if (outcome !== 'closed') browser.process()?.kill('SIGKILL');
    return outcome;
}

/** Resolves after ms, or with what `promise` gives, whichever comes first. */
function within(promise, ms, late) {
    let timer;
    const expired = new Promise((resolve) => {
        timer = setTimeout(() => resolve(late), ms);
    });
    return Promise.race([promise, expired]).finally(() => clearTimeout(timer));
}

/**
 * Closes a tab without letting it stall the check. A tab closed while it is
 * being forwarded can leave page.close() waiting until the whole browser goes;
 * such a tab is left to the browser's own shutdown.
 */
export async function closePage(page, grace = 5000) {
    await page.waitForLoadState('load', { timeout: grace }).catch(() => {});
    return within(page.close().then(() => 'closed', () => 'failed'), grace, 'left open');
}

export async function waitFor(what, probe, timeout = 5000) {
    const end = Date.now() + timeout;
    let last;
    for (;;) {
        last = await probe().catch((e) => e);
        if (last === true) return;
        if (Date.now() > end) throw new Error(`timed out waiting for ${what} (last: ${last})`);
        await new Promise((r) => setTimeout(r, 50));
    }
}

export function frame(page, name) {
    const f = page.frame({ name });
    if (!f) throw new Error(`no frame named ${name}`);
    return f;
}

/** Every image of a frame with what the browser made of it. */
export function imagesIn(f) {
    return f.evaluate(() =>
        [...document.images].map((img) => ({
            src: img.src,
            alt: img.alt,
            complete: img.complete,
            naturalWidth: img.naturalWidth,
            naturalHeight: img.naturalHeight,
            width: img.getAttribute('width'),
            height: img.getAttribute('height'),
            linked: img.closest('a') !== null,
        })),
    );
}

/** Marks a frame's current document, so a later look can tell whether it was replaced. */
export async function markDocument(f) {
    await f.evaluate(() => {
        window.__kavoMark = true;
    });
}

export async function stillMarked(f) {
    return f.evaluate(() => window.__kavoMark === true).catch(() => false);
}

export async function screenshot(page, name) {
    fs.mkdirSync(ARTIFACTS, { recursive: true });
    await page.screenshot({ path: path.join(ARTIFACTS, name) });
}

// An unassigned code point: no font has a glyph for it, so it shows the same
// empty-glyph box that Japanese text shows when no Japanese font is installed.
const NO_GLYPH = '\u0378';

/**
 * Renders the first text of `f` that contains `text` three ways, in the same
 * place: as it is, with each of its characters replaced by the empty-glyph box,
 * and blanked out. Returns the three PNG buffers of that screen region.
 */
export async function renderings(page, f, text) {
    const rect = await f.evaluate((t) => {
        const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
        for (let n = walker.nextNode(); n; n = walker.nextNode()) {
            const at = n.data.indexOf(t);
            if (at < 0) continue;
            const range = document.createRange();
            range.setStart(n, at);
            range.setEnd(n, at + t.length);
            const r = range.getBoundingClientRect();
            window.__kavoText = { node: n, at, original: n.data };
            return { x: r.x, y: r.y, width: r.width, height: r.height };
        }
        return null;
    }, text);
    if (!rect) throw new Error(`text ${text} not found in ${f.url()}`);
    let dx = 0;
    let dy = 0;
    if (f !== page.mainFrame()) {
        const box = await (await f.frameElement()).boundingBox();
        dx = box.x;
        dy = box.y;
    }
    const clip = {
        x: Math.max(0, Math.floor(rect.x + dx) - 2),
        y: Math.max(0, Math.floor(rect.y + dy) - 2),
        width: Math.ceil(rect.width) + 4,
        height: Math.ceil(rect.height) + 4,
    };
    const shot = () => page.screenshot({ clip, animations: 'disabled', caret: 'hide' });
    const replace = (withText) =>
        f.evaluate(
            ([t, w]) => {
                const { node, at, original } = window.__kavoText;
                node.data = original.slice(0, at) + w + original.slice(at + t.length);
            },
            [text, withText],
        );
    const real = await shot();
    await replace(NO_GLYPH.repeat([...text].length));
    const boxes = await shot();
    await replace('');
    const blank = await shot();
    await replace(text);
    return { real, boxes, blank, rect };
}
