// support.js -- what the model tests share: running the built tallyrender (its path in
// TALLYRENDER, from the repository's root so that ./data and examples/ resolve), the
// installed test clients (the node_modules folder in MODEL_CLIENTS), a scratch folder,
// and the view's rules worked out here, apart from the writer: where a column stands
// and how high, and the colour it shows.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');

// The model's space: X = (lon - PIVOT_LON) * 100, Z = -(lat - PIVOT_LAT) * 100, Y = height.
const PIVOT_LON = -95.4877;
const PIVOT_LAT = 29.837934;
const WORLD_SCALE = 100;
const MAP = { west: -96.62202, east: -94.35338, south: 28.76915, north: 30.90672 };
const COLUMN_HALF_WIDTH = 0.0025;           // degrees
const FACE_DARKENING = [0.09, 0.06, 0.03, 0];   // south, east, north, west
const LID_GREY = 0.66;                      // lid colour, times the base map
const UNSELECTED_ALPHA = 0.15;              // every column but the selected one
const FIRST_YEAR = 1990;
const ENROLLMENT_YEARS = 17;                // 1990..2006; white from 2007 on

function tallyrender(args) {
    try {
        return execFileSync(process.env.TALLYRENDER, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
    } catch (e) {
        throw new Error(`tallyrender ${args.join(' ')} failed (${e.status}): ${e.stderr}`);
    }
}

// The folder of an installed client package: gltf-validator or three.
function client(name) {
    if (!process.env.MODEL_CLIENTS) throw new Error('MODEL_CLIENTS names no node_modules folder');
    return path.join(process.env.MODEL_CLIENTS, name);
}

// A folder of the test's own, removed when the process ends well.
function scratchFolder(name) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), `tallymap-model-${name}-`));
    process.on('exit', code => {
        if (code === 0 && !process.exitCode) fs.rmSync(dir, { recursive: true, force: true });
        else console.log(`# files kept in ${dir}`);
    });
    return dir;
}

// ZIP code -> [longitude, latitude] of a Load Data CSV, as single-precision floats.
function studyArea(csv) {
    const lines = fs.readFileSync(csv, 'utf8').trim().split(/\r?\n/).slice(1);
    return new Map(lines.map(l => l.split(',')).map(f => [Number(f[0]), [Math.fround(f[2]), Math.fround(f[3])]]));
}

// The value CSV of tallyrender --export: [{zip, value}] in table order.
function exportedValues(dir, args) {
    const file = path.join(dir, `values-${Date.now()}-${Math.random()}.csv`);
    tallyrender([...args, '--export', file]);
    const rows = fs.readFileSync(file, 'utf8').trim().split(/\r?\n/).slice(1).map(l => l.split(',').map(Number));
    fs.rmSync(file);
    return rows.map(([zip, value]) => ({ zip, value }));
}

// A column's footprint in the model (X from west to east, Z from north to south) and
// its top: the square of 0.005 degrees around the position, single-precision corners
// as the view makes them, and the value plus the lift of 0.01 scaled units.
function expectedColumn([longitude, latitude], value, heightScaleN) {
    const x0 = Math.fround(longitude - COLUMN_HALF_WIDTH), y0 = Math.fround(latitude - COLUMN_HALF_WIDTH);
    const x1 = Math.fround(x0 + 2 * COLUMN_HALF_WIDTH), y1 = Math.fround(y0 + 2 * COLUMN_HALF_WIDTH);
    const X = lon => (lon - PIVOT_LON) * WORLD_SCALE, Z = lat => -(lat - PIVOT_LAT) * WORLD_SCALE;
    return { west: X(x0), east: X(x1), north: Z(y1), south: Z(y0), top: (value + heightScaleN / 100) / heightScaleN,
             lon: [x0, x1], lat: [y0, y1] };
}

// The two campuses' enrollment of a ZIP code: 17 years and the maximum each.
function enrollment(zip) {
    const file = path.join('data', 'enroll', `${String(zip).padStart(5, '0')}.enr`);
    const bytes = fs.readFileSync(file);
    return [0, 1].map(c => Array.from({ length: 18 }, (_, i) => bytes.readUInt16LE(36 * c + 2 * i)));
}

// The side colour before the face darkening, "Normalized" range: white without a
// campus, from 2007 on and for no enrollment; else the ramp red - yellow - green.
function columnColour(series, campus, year) {
    const y = year - FIRST_YEAR;
    if (campus === 0 || y >= ENROLLMENT_YEARS) return [1, 1, 1];
    const row = series[campus - 1], e = row[y], max = row[ENROLLMENT_YEARS];
    if (e === 0) return [1, 1, 1];
    const r = max === 0 ? 1 : Math.min(e / max, 1);
    return r < 0.5 ? [1, 2 * r, 0] : [2 - 2 * r, 1, 0];
}

const clamp = v => Math.min(Math.max(v, 0), 1);
const srgbToLinear = c => (c <= 0.04045 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4);
const linearToSrgb = l => (l <= 0.0031308 ? l * 12.92 : 1.055 * l ** (1 / 2.4) - 0.055);
// The 8-bit level a viewer shows for a linear colour component.
const shownLevel = linear => Math.round(255 * linearToSrgb(clamp(linear)));

// The 8-bit colour of a face (0 south, 1 east, 2 north, 3 west) as the view draws it.
function faceLevels(colour, face) {
    return colour.map(c => Math.round(255 * clamp(c - FACE_DARKENING[face])));
}

// date "YYYY-MM-DD" stepped by k years (the tests start from days every year has).
function addYears(date, k) {
    return `${Number(date.slice(0, 4)) + k}${date.slice(4)}`;
}

module.exports = {
    PIVOT_LON, PIVOT_LAT, WORLD_SCALE, MAP, LID_GREY, UNSELECTED_ALPHA,
    tallyrender, client, scratchFolder, studyArea, exportedValues, expectedColumn, enrollment, columnColour,
    srgbToLinear, shownLevel, faceLevels, addYears,
};
