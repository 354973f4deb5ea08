// images.js -- the pictures the model tests compare, decoded into RGB bytes, top row
// first: 24-bit BMP files (the base map, tallyrender's snapshots) and 8-bit PNG images
// (the model's textures, Chromium's screenshots), read with Node's own zlib. Anything
// else is refused with an error naming what was found.
'use strict';
const fs = require('fs');
const zlib = require('zlib');

// An uncompressed 24-bit BMP, bottom-up or top-down, rows padded to 4 bytes.
function readBmp(path) {
    const b = fs.readFileSync(path);
    if (b.length < 54 || b.toString('latin1', 0, 2) !== 'BM') throw new Error(`${path}: not a BMP file`);
    const offset = b.readUInt32LE(10);
    const width = b.readInt32LE(18);
    const height = b.readInt32LE(22);   // negative: top row first
    const bits = b.readUInt16LE(28);
    const compression = b.readUInt32LE(30);
    if (bits !== 24 || compression !== 0) throw new Error(`${path}: ${bits}-bit, compression ${compression}`);
    const rows = Math.abs(height);
    const stride = (width * 3 + 3) & ~3;
    if (width <= 0 || rows === 0 || offset + stride * rows > b.length) throw new Error(`${path}: truncated`);
    const pixels = Buffer.alloc(width * rows * 3);
    for (let y = 0; y < rows; ++y) {
        const from = offset + stride * (height > 0 ? rows - 1 - y : y);
        for (let x = 0; x < width; ++x) {
            const s = from + 3 * x, d = 3 * (y * width + x);
            pixels[d] = b[s + 2];       // stored blue, green, red
            pixels[d + 1] = b[s + 1];
            pixels[d + 2] = b[s];
        }
    }
    return { width, height: rows, pixels };
}

const PNG_SIGNATURE = Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]);
const PNG_CHANNELS = { 2: 3, 6: 4 };   // colour type: RGB, RGBA

function paeth(a, b, c) {
    const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// A non-interlaced 8-bit RGB or RGBA PNG. Returns the pixels as RGB and the types of
// every chunk met, so a caller can refuse colour or gamma chunks.
function decodePng(bytes) {
    if (!bytes.subarray(0, 8).equals(PNG_SIGNATURE)) throw new Error('not a PNG image');
    const chunks = [], data = [];
    let header = null;
    for (let at = 8; at + 12 <= bytes.length;) {
        const length = bytes.readUInt32BE(at);
        const type = bytes.toString('latin1', at + 4, at + 8);
        if (at + 12 + length > bytes.length) throw new Error(`PNG chunk ${type} runs past the end`);
        const body = bytes.subarray(at + 8, at + 8 + length);
        chunks.push(type);
        if (type === 'IHDR') header = { width: body.readUInt32BE(0), height: body.readUInt32BE(4), depth: body[8],
                                        colourType: body[9], interlace: body[12] };
        if (type === 'IDAT') data.push(body);
        at += 12 + length;
        if (type === 'IEND') break;
    }
    if (!header) throw new Error('PNG without IHDR');
    const channels = PNG_CHANNELS[header.colourType];
    if (header.depth !== 8 || !channels || header.interlace !== 0)
        throw new Error(`PNG of depth ${header.depth}, colour type ${header.colourType}, ` +
                        `interlace ${header.interlace}`);
    const { width, height } = header;
    const raw = zlib.inflateSync(Buffer.concat(data));
    const stride = width * channels;
    if (raw.length !== height * (stride + 1))
        throw new Error(`PNG data of ${raw.length} bytes for ${width} x ${height}`);
    const rows = Buffer.alloc(height * stride);
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        const line = y * stride, source = y * (stride + 1) + 1;
        for (let i = 0; i < stride; ++i) {
            const a = i >= channels ? rows[line + i - channels] : 0;
            const b = y > 0 ? rows[line - stride + i] : 0;
            const c = i >= channels && y > 0 ? rows[line - stride + i - channels] : 0;
            const predictor = [0, a, b, (a + b) >> 1, paeth(a, b, c)][filter];
            if (predictor === undefined) throw new Error(`PNG row ${y} has filter ${filter}`);
            rows[line + i] = raw[source + i] + predictor;
        }
    }
    const pixels = Buffer.alloc(width * height * 3);
    for (let p = 0; p < width * height; ++p) rows.copy(pixels, 3 * p, channels * p, channels * p + 3);
    return { width, height, channels, pixels, chunks };
}

module.exports = { readBmp, decodePng };
