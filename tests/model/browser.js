// browser.js -- tallyrender's models in a real viewer: three.js in headless Chromium
// renders each model through its "view" camera (page.html, served on a free loopback
// port), and the picture is compared with tallyrender's snapshot of the same view: the
// mean absolute difference per channel over the picture, and the same mean over the
// pixels of each ZIP code's column, found by a second render with a flat colour per ZIP
// node. Chromium is driven over the DevTools protocol on a pipe (no driver library).
//
//   node browser.js                   the tests
//   node browser.js --picture FILE    the still model of the study area as three.js
//                                     shows it, for the README
// Both run from the repository's root with TALLYRENDER and MODEL_CLIENTS set as CTest
// sets them (support.js), and CHROMIUM naming the browser (default: chromium on PATH).
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { spawn } = require('child_process');
const { readBmp, decodePng } = require('./images.js');
const { validatedFile } = require('./gltf.js');
const s = require('./support.js');

const WIDTH = 1024, HEIGHT = 768;
const PICTURE_LIMIT = 6;    // mean absolute difference per channel, whole picture
const COLUMN_LIMIT = 24;    // the same over one column's lid and sides
const RENDER_LIMIT = 60000; // milliseconds for a page to start rendering

// ---------------------------------------------------------------------------------
// The page's server and the browser
// ---------------------------------------------------------------------------------
const CONTENT_TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.glb': 'model/gltf-binary' };

// Serves /page.html, /three/... from the installed package and /models/... from dir.
function serve(dir) {
    const roots = { three: s.client('three'), models: dir };
    const server = http.createServer((request, response) => {
        const [, top, ...rest] = decodeURIComponent(new URL(request.url, 'http://localhost').pathname).split('/');
        const file = top === 'page.html' ? path.join(__dirname, top) : roots[top] && path.join(roots[top], ...rest);
        if (!file || rest.includes('..') || !fs.statSync(file, { throwIfNoEntry: false })?.isFile()) {
            response.writeHead(404).end();
            return;
        }
        const type = CONTENT_TYPES[path.extname(file)] || 'application/octet-stream';
        response.writeHead(200, { 'Content-Type': type });
        fs.createReadStream(file).pipe(response);
    });
    return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

function pageUrl(server, query) {
    return `http://127.0.0.1:${server.address().port}/page.html?${new URLSearchParams(query)}`;
}

// Chromium with a fresh profile, nothing reaching out, the protocol on fds 3 and 4.
async function launchChromium() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tallymap-chromium-'));
    const flags = ['--headless', '--disable-gpu', '--enable-unsafe-swiftshader', '--no-first-run',
                   '--disable-background-networking', '--disable-component-update', '--disable-sync',
                   `--user-data-dir=${profile}`, `--window-size=${WIDTH},${HEIGHT}`, '--force-device-scale-factor=1',
                   '--remote-debugging-pipe', 'about:blank'];
    if (process.getuid() === 0) flags.unshift('--no-sandbox');
    const log = path.join(profile, 'stderr.txt');
    const child = spawn(process.env.CHROMIUM || 'chromium', flags,
                        { stdio: ['ignore', 'ignore', fs.openSync(log, 'w'), 'pipe', 'pipe'] });
    const pending = new Map();   // id -> answer of a command sent
    let received = '', lastId = 0;
    child.stdio[4].setEncoding('utf8');
    child.stdio[4].on('data', chunk => {
        received += chunk;
        for (let end; (end = received.indexOf('\0')) >= 0; received = received.slice(end + 1)) {
            const message = JSON.parse(received.slice(0, end));
            if (pending.has(message.id)) pending.get(message.id)(message);
        }
    });
    const exited = new Promise(resolve => child.on('exit', resolve).on('error', resolve));
    let ended = null;   // why chromium is gone, once it is
    exited.then(ending => {
        const lastLines = fs.readFileSync(log, 'utf8').trim().split('\n').slice(-5).join('\n');
        ended = { error: { message: `chromium ended (${ending}): ${lastLines}` } };
        pending.forEach(answer => answer(ended));
    });
    const send = (method, params = {}, sessionId = undefined) => new Promise((resolve, reject) => {
        const id = ++lastId;
        const answer = message => {
            pending.delete(id);
            if (message.error) reject(new Error(`${method}: ${message.error.message}`));
            else resolve(message.result);
        };
        if (ended) return answer(ended);
        pending.set(id, answer);
        child.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
    });
    const close = async () => {
        await send('Browser.close').catch(() => {});   // an ended browser answers at once
        await exited;
        fs.rmSync(profile, { recursive: true, force: true });
    };
    let sessionId;
    try {
        const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
        ({ sessionId } = await send('Target.attachToTarget', { targetId, flatten: true }));
        const metrics = { width: WIDTH, height: HEIGHT, deviceScaleFactor: 1, mobile: false };
        await send('Emulation.setDeviceMetricsOverride', metrics, sessionId);
    } catch (error) {
        await close();
        throw error;
    }
    return {
        close,
        // The picture the page rendered at url, decoded; the page's own failure as an error.
        // With it, the names of the ZIP nodes in the order of their flat colours.
        async render(url) {
            await send('Page.navigate', { url }, sessionId);
            // the page's promise, once the new page has made it
            const evaluate = { expression: `location.href === ${JSON.stringify(url)} && window.done`,
                               awaitPromise: true, returnByValue: true };
            const deadline = Date.now() + RENDER_LIMIT;
            for (;;) {
                const { result } = await send('Runtime.evaluate', evaluate, sessionId);
                const state = result.value;
                if (state?.failure) throw new Error(`page: ${state.failure}`);
                if (state?.picture) {
                    const png = Buffer.from(state.picture.split(',')[1], 'base64');
                    return { ...decodePng(png), png, names: state.names };
                }
                if (Date.now() > deadline) throw new Error(`${url} did not load in ${RENDER_LIMIT / 1000} s`);
            }
        },
    };
}

// ---------------------------------------------------------------------------------
// Comparing pictures
// ---------------------------------------------------------------------------------
// The mean absolute difference per channel of two RGB pictures over all pixels, and
// over the pixels of each ZIP node (by the flat colours of ids): Map(index -> {pixels, mean}).
function compare(picture, snapshot, ids) {
    assert.deepStrictEqual([picture.width, picture.height, snapshot.width, snapshot.height],
                           [WIDTH, HEIGHT, WIDTH, HEIGHT]);
    const columns = new Map();
    let total = 0;
    for (let p = 0; p < picture.width * picture.height; ++p) {
        let difference = 0;
        for (let c = 0; c < 3; ++c) difference += Math.abs(picture.pixels[3 * p + c] - snapshot.pixels[3 * p + c]);
        total += difference;
        const id = ids.pixels[3 * p] + 256 * ids.pixels[3 * p + 1];
        if (id === 0) continue;
        const column = columns.get(id - 1) || { pixels: 0, sum: 0 };
        column.pixels += 1;
        column.sum += difference;
        columns.set(id - 1, column);
    }
    for (const column of columns.values()) column.mean = column.sum / (3 * column.pixels);
    return { mean: total / (3 * picture.width * picture.height), columns };
}

// ---------------------------------------------------------------------------------
// The tests
// ---------------------------------------------------------------------------------
const LOAD = ['--load', 'examples/inner_core.csv', '--field', '0', '--campus', '1', '--height-scale', '10000'];
const VIEW = ['--view', '30,76,40', '--centre', '-95.40,29.745', '--size', `${WIDTH}x${HEIGHT}`];
const DATE = '2004-07-01';
const FPS = 10;
const PAST_KEY = 1e-6;   // seconds: key times are single-precision, so render just past them

function runTests() {
    const dir = s.scratchFolder('browser');
    let server, chromium;
    const url = query => pageUrl(server, query);

    before(async () => {
        server = await serve(dir);
        chromium = await launchChromium();
    });
    after(async () => {
        await chromium?.close();
        server?.close();
    });

    // Renders the model (query: its page query) and its ZIP nodes' flat colours, and
    // compares the picture with the snapshot file; every column seen must pass.
    async function check(t, query, snapshot) {
        const picture = await chromium.render(url(query));
        const ids = await chromium.render(url({ ...query, ids: 1 }));
        const view = readBmp(path.join(dir, snapshot));
        // the sky above the map's far edge, in the top left corner: the view's grey
        assert.deepStrictEqual([...picture.pixels.subarray(0, 3), ...view.pixels.subarray(0, 3)], Array(6).fill(127));
        const result = compare(picture, view, ids);
        const [worst, column] = [...result.columns].sort((a, b) => b[1].mean - a[1].mean)[0] || [];
        t.diagnostic(`${query.model}${query.time ? ` at ${query.time} s` : ''}: ` +
                     `picture mean ${result.mean.toFixed(2)}, ` +
                     `${result.columns.size} of ${ids.names.length} columns seen, ` +
                     `worst ${ids.names[worst]} mean ${column?.mean.toFixed(2)} over ${column?.pixels} pixels`);
        assert.ok(result.mean <= PICTURE_LIMIT, `picture mean ${result.mean}`);
        assert.ok(result.columns.size >= ids.names.length - 2, `${result.columns.size} columns seen`);
        for (const [index, { mean, pixels }] of result.columns)
            assert.ok(mean <= COLUMN_LIMIT, `${ids.names[index]}: mean ${mean} over ${pixels} pixels`);
        return { ids, result };
    }

    test('the still model in three.js shows what the snapshot of its view shows, column by column', async t => {
        s.tallyrender([...LOAD, ...VIEW, '--date', DATE, '--model', path.join(dir, 'still.glb'),
                       '--snapshot', path.join(dir, 'still.bmp')]);
        await validatedFile(path.join(dir, 'still.glb'));
        const query = { model: '/models/still.glb' };
        const { ids, result } = await check(t, query, 'still.bmp');

        // The largest column half a unit east: the picture's mean hardly moves, the column's does.
        const [index] = [...result.columns].sort((a, b) => b[1].pixels - a[1].pixels)[0];
        const moved = await chromium.render(url({ ...query, shift: ids.names[index] }));
        const shifted = compare(moved, readBmp(path.join(dir, 'still.bmp')), ids);
        const mean = shifted.columns.get(index).mean;
        t.diagnostic(`${ids.names[index]} moved 0.5 units: picture mean ${shifted.mean.toFixed(2)}, ` +
                     `its own mean ${mean.toFixed(2)}`);
        assert.ok(shifted.mean <= PICTURE_LIMIT && mean > COLUMN_LIMIT);
    });

    test('the animated model in three.js shows at two keys what the snapshots of their dates show', async t => {
        s.tallyrender([...LOAD, ...VIEW, '--date', DATE, '--step', 'year', '--count', '4', '--fps', String(FPS),
                       '--model', path.join(dir, 'timeline.glb')]);
        await validatedFile(path.join(dir, 'timeline.glb'));
        for (const key of [1, 2]) {
            const snapshot = `key${key}.bmp`;
            s.tallyrender([...LOAD, ...VIEW, '--date', s.addYears(DATE, key),
                           '--snapshot', path.join(dir, snapshot)]);
            await check(t, { model: '/models/timeline.glb', time: key / FPS + PAST_KEY }, snapshot);
        }
    });
}

// The README's picture: the README's still model (households in mid-2000 at 1000:1,
// coloured by the first campus) in three.js, through its view camera.
async function makePicture(file) {
    const dir = s.scratchFolder('picture');
    s.tallyrender(['--load', 'examples/study_area.csv', '--date', '2000-06-15', '--field', '76', '--campus', '1',
                   '--height-scale', '1000', '--view', '25,60,160', '--model', path.join(dir, 'households-2000.glb')]);
    const server = await serve(dir);
    const chromium = await launchChromium();
    try {
        const picture = await chromium.render(pageUrl(server, { model: '/models/households-2000.glb' }));
        fs.writeFileSync(file, picture.png);
    } finally {
        await chromium.close();
        server.close();
    }
}

if (process.argv[2] === '--picture') makePicture(process.argv[3]);
else runTests();
