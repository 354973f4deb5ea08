// readback.js -- tallyrender's still and animated models of the sample, read back as a
// viewer reads them (gltf.js, none of the writer's code) and checked against figures
// worked out here: the value CSV of each date (tallyrender --export), the enrollment
// files, the map file, and the view's rules for where a column stands, how high it
// rises and what colour it shows. Every model passes the Khronos validator first.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const path = require('path');
const g = require('./gltf.js');
const { readBmp, decodePng } = require('./images.js');
const s = require('./support.js');

const CSV = 'examples/study_area.csv';
const HEIGHT_SCALE = 1000;
const LOAD = ['--load', CSV, '--field', '0', '--campus', '1', '--height-scale', String(HEIGHT_SCALE)];
const PLACE = 1e-3;   // model units: a five-hundredth of a column's side
const UV = 1e-4;      // texture coordinates: a tenth of a texel of the map
const dir = s.scratchFolder('readback');
const area = s.studyArea(CSV);
const mapFile = readBmp('data/maps/basemap.bmp');

const near = (a, b, tolerance) => Math.abs(a - b) <= tolerance;
const X = lon => (lon - s.PIVOT_LON) * s.WORLD_SCALE;
const Z = lat => -(lat - s.PIVOT_LAT) * s.WORLD_SCALE;
const mapU = x => (x / s.WORLD_SCALE + s.PIVOT_LON - s.MAP.west) / (s.MAP.east - s.MAP.west);
const mapV = z => 1 - (s.PIVOT_LAT - z / s.WORLD_SCALE - s.MAP.south) / (s.MAP.north - s.MAP.south);   // 0: north edge
const triangleArea = ([a, b, c]) => {
    const u = [0, 1, 2].map(i => b[i] - a[i]), v = [0, 1, 2].map(i => c[i] - a[i]);
    return Math.hypot(u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]) / 2;
};

// Writes a model with args and reads it, once the Khronos validator has passed it.
async function validModel(name, args) {
    const file = path.join(dir, name);
    s.tallyrender([...LOAD, ...args, '--model', file]);
    return g.readGlb(await g.validatedFile(file));
}

// The ZIP nodes in the order of the scene, by their five-digit names.
function zipNodes(model) {
    const found = [];
    const visit = index => {
        if (/^\d{5}$/.test(model.json.nodes[index].name)) found.push(index);
        (model.json.nodes[index].children || []).forEach(visit);
    };
    model.json.scenes[model.json.scene || 0].nodes.forEach(visit);
    return found;
}

// The image of a material's base colour texture, decoded once per model; null: none.
function textureImage(model, material) {
    const texture = material.pbrMetallicRoughness?.baseColorTexture;
    if (!texture) return null;
    const source = model.json.textures[texture.index].source;
    model.images ??= new Map();
    if (!model.images.has(source)) {
        const image = decodePng(g.bufferViewBytes(model, model.json.images[source].bufferView));
        image.isMap = image.pixels.equals(mapFile.pixels);
        model.images.set(source, image);
    }
    return model.images.get(source);
}

// ---------------------------------------------------------------------------------
// One column
// ---------------------------------------------------------------------------------
// What is wrong with the triangles shown under one ZIP node, against the column
// expected (footprint, top), its side colour and alpha; bands: the still model's dark
// band every scaled unit. [] when nothing is.
function columnProblems(model, triangles, want, colour, alpha, bands) {
    const problems = [];
    const height = 1e-6 * (1 + want.top);   // a few single-precision steps
    const all = triangles.flatMap(t => t.points);
    if (all.length === 0) return ['nothing shown'];
    const extent = c => [Math.min(...all.map(p => p[c])), Math.max(...all.map(p => p[c]))];
    const [[west, east], [bottom, top], [north, south]] = [extent(0), extent(1), extent(2)];
    if (!near(west, want.west, PLACE) || !near(east, want.east, PLACE) ||
        !near(north, want.north, PLACE) || !near(south, want.south, PLACE))
        problems.push(`footprint X ${west}..${east}, Z ${north}..${south}; ` +
                      `expected X ${want.west}..${want.east}, Z ${want.north}..${want.south}`);
    if (!near(top, want.top, height) || !near(bottom, 0, height))
        problems.push(`Y ${bottom}..${top}, expected 0..${want.top}`);

    // Faces by their geometry: the lid at the top, the sides south, east, north, west.
    const faceOf = t => {
        const on = (c, v, tolerance) => t.points.every(p => near(p[c], v, tolerance));
        return on(1, want.top, height) ? 'lid' : on(2, want.south, PLACE) ? 0 : on(0, want.east, PLACE) ? 1
             : on(2, want.north, PLACE) ? 2 : on(0, want.west, PLACE) ? 3 : null;
    };
    const faceArea = { lid: 0, 0: 0, 1: 0, 2: 0, 3: 0 };
    const shown = t => t.colours.map(c => c.slice(0, 3).map(s.shownLevel));
    const off = (levels, expected) => levels.some(c => c.some((l, i) => Math.abs(l - expected[i]) > 1));
    for (const t of triangles) {
        const face = faceOf(t);
        if (face === null) {
            problems.push(`a triangle on no face: ${JSON.stringify(t.points)}`);
            continue;
        }
        faceArea[face] += triangleArea(t.points);
        const expected = face === 'lid' ? Array(3).fill(Math.round(255 * s.LID_GREY)) : s.faceLevels(colour, face);
        if (off(shown(t), expected))
            problems.push(`face ${face} shows ${JSON.stringify(shown(t)[0])}, expected ${JSON.stringify(expected)}`);
        if (t.colours.some(c => !near(c[3], alpha, 1e-6)) || (alpha < 1) !== (t.material.alphaMode === 'BLEND'))
            problems.push(`face ${face} of alpha ${t.colours[0][3]}, ${t.material.alphaMode || 'OPAQUE'}`);
        const onMap = (p, i) => t.uvs && near(t.uvs[i][0], mapU(p[0]), UV) && near(t.uvs[i][1], mapV(p[2]), UV);
        if (face === 'lid' && !(textureImage(model, t.material)?.isMap && t.points.every(onMap)))
            problems.push('lid not textured by the map beneath it');
        if (face !== 'lid' && bands) problems.push(...bandProblems(model, t, face));
    }
    const [width, depth] = [want.east - want.west, want.south - want.north];
    if (!near(faceArea.lid, width * depth, 1e-3)) problems.push(`lid of area ${faceArea.lid}`);
    [width, depth, width, depth].forEach((side, face) => {
        if (!near(faceArea[face], side * want.top, 1e-3 * (1 + want.top)))
            problems.push(`face ${face} of area ${faceArea[face]}`);
    });
    return problems;
}

// The band texture on a side triangle: dark from k + 0.875 to k + 1 scaled units, light
// below, at every k under the top (read at k + 0.5 and k + 0.94, inside the texels).
function bandProblems(model, t, face) {
    const band = textureImage(model, t.material);
    if (!band || !t.uvs) return [`face ${face} carries no band texture`];
    const corners = [0, 1, 2].map(i => ({ y: t.points[i][1], u: t.uvs[i][0], v: t.uvs[i][1] }))
        .sort((p, q) => p.y - q.y);
    const [a, b] = [corners[0], corners[2]];
    const wrap = x => x - Math.floor(x);
    const level = y => {
        const f = (y - a.y) / (b.y - a.y);
        const u = wrap(a.u + f * (b.u - a.u)), v = wrap(a.v + f * (b.v - a.v));
        return band.pixels[3 * (Math.floor(v * band.height) * band.width + Math.floor(u * band.width))];
    };
    const problems = [];
    for (let k = Math.ceil(a.y - 0.5); k + 0.94 < b.y; ++k)
        if (level(k + 0.5) < 250 || level(k + 0.94) > 5)
            problems.push(`face ${face}: no dark band at ${k + 0.875}..${k + 1}`);
    return problems;
}

// Every ZIP column of a model at one moment (world: the nodes' world matrices then)
// against the value CSV of its date and the colours of its enrollment year; with a
// selected ZIP code every other column is translucent.
function checkColumns(model, world, values, year, { bands = false, selected = null } = {}) {
    const nodes = zipNodes(model);
    assert.deepStrictEqual(nodes.map(n => model.json.nodes[n].name), values.map(v => String(v.zip).padStart(5, '0')));
    const problems = [];
    values.forEach(({ zip, value }, i) => {
        const want = s.expectedColumn(area.get(zip), value, HEIGHT_SCALE);
        const colour = s.columnColour(s.enrollment(zip), 1, year);
        const alpha = selected === null || selected === zip ? 1 : s.UNSELECTED_ALPHA;
        const triangles = g.visibleTriangles(model, nodes[i], world);
        problems.push(...columnProblems(model, triangles, want, colour, alpha, bands).map(p => `${zip}: ${p}`));
    });
    assert.deepStrictEqual(problems.slice(0, 12), [], `${problems.length} problems`);
}

// ---------------------------------------------------------------------------------
// The tests
// ---------------------------------------------------------------------------------
test('the still model: a column per ZIP code where the view has it, its colours and bands, the map, the camera',
     async () => {
    const date = '2004-07-01', selected = 77005;
    const model = await validModel('still.glb', ['--date', date, '--select', String(selected),
                                                 '--view', '30,55,120', '--centre', '-95.45,29.78', '--size', '900x600']);
    const json = model.json;
    const extras = json.asset.extras;
    assert.ok(extras.pivot.every((v, i) => near(v, [s.PIVOT_LON, s.PIVOT_LAT][i], 1e-5)), `pivot ${extras.pivot}`);
    assert.deepStrictEqual([extras.worldScale, extras.heightScale, extras.field, extras.fieldLine, extras.date],
                           [100, HEIGHT_SCALE, 'Total population', 0, date]);
    assert.ok(json.extensionsUsed.includes('KHR_materials_unlit') && !json.extensionsRequired);
    for (const m of json.materials)
        assert.ok(m.extensions?.KHR_materials_unlit && m.pbrMetallicRoughness.metallicFactor === 0 &&
                  m.pbrMetallicRoughness.roughnessFactor === 1, JSON.stringify(m));
    for (const sampler of json.samplers)
        assert.deepStrictEqual([sampler.magFilter, sampler.minFilter, sampler.wrapS ?? 10497, sampler.wrapT ?? 10497],
                               [9729, 9729, 10497, 10497]);

    const values = s.exportedValues(dir, [...LOAD, '--date', date]);
    const nodes = zipNodes(model);
    values.forEach(({ zip, value }, i) => {
        const { extras: e } = json.nodes[nodes[i]];
        const [longitude, latitude] = area.get(zip);
        assert.deepStrictEqual([e.zip, Math.fround(e.longitude), Math.fround(e.latitude), e.value],
                               [zip, longitude, latitude, value]);
    });
    const world = g.worldMatrices(model, null);
    checkColumns(model, world, values, 2004, { bands: true, selected });

    // The base map: the plane over the map's extent, its picture the map file's own pixels.
    const plane = g.visibleTriangles(model, json.nodes.findIndex(n => n.name === 'basemap'), world);
    const corners = plane.flatMap(t => t.points);
    const extent = c => [Math.min(...corners.map(p => p[c])), Math.max(...corners.map(p => p[c]))];
    [[extent(0), [X(s.MAP.west), X(s.MAP.east)]], [extent(2), [Z(s.MAP.north), Z(s.MAP.south)]], [extent(1), [0, 0]]]
        .forEach(([got, expected]) => assert.ok(near(got[0], expected[0], PLACE) && near(got[1], expected[1], PLACE),
                                                `plane ${got}, expected ${expected}`));
    for (const t of plane)
        t.points.forEach((p, i) => assert.ok(near(t.uvs[i][0], mapU(p[0]), UV) && near(t.uvs[i][1], mapV(p[2]), UV),
                                             `plane at ${p}: uv ${t.uvs[i]}`));
    const picture = textureImage(model, plane[0].material);
    assert.deepStrictEqual([picture.width, picture.height, picture.channels], [mapFile.width, mapFile.height, 3]);
    assert.ok(picture.isMap, 'the map texture differs from data/maps/basemap.bmp');
    assert.deepStrictEqual(picture.chunks.filter(c => /^(gAMA|cHRM|sRGB|iCCP)$/.test(c)), []);

    // The camera of --view 30,55,120 about -95.45, 29.78: the eye 120 units from the centre,
    // tilted 55 degrees from straight down and turned 30 degrees, looking at the centre.
    const view = json.nodes.findIndex(n => n.name === 'view');
    const lens = json.cameras[json.nodes[view].camera].perspective;
    assert.deepStrictEqual([lens.yfov, lens.znear, lens.zfar, lens.aspectRatio].map(v => +v.toFixed(5)),
                           [0.48996, 4, 256000, 1.5]);
    const m = world[view], tilt = 55 * Math.PI / 180, turn = 30 * Math.PI / 180;
    const centre = [X(-95.45), 0, Z(29.78)];
    const eye = [centre[0] + 120 * Math.sin(tilt) * Math.sin(turn), 120 * Math.cos(tilt),
                 centre[2] + 120 * Math.sin(tilt) * Math.cos(turn)];
    const unit = v => v.map(c => c / Math.hypot(...v));
    const up = [-Math.cos(tilt) * Math.sin(turn), Math.sin(tilt), -Math.cos(tilt) * Math.cos(turn)];
    const axes = [[m.slice(12, 15), eye, PLACE],
                  [unit(m.slice(8, 11)).map(c => -c), unit(centre.map((c, i) => c - eye[i])), 1e-5],   // looking at
                  [unit(m.slice(4, 7)), up, 1e-5]];
    for (const [got, expected, tolerance] of axes)
        assert.ok(got.every((c, i) => near(c, expected[i], tolerance)), `camera ${got}, expected ${expected}`);
});

test('the animated model: at every key the columns of that date, heights linear between keys, colours by year',
     async () => {
    const first = '2003-07-01', count = 5, fps = 10;   // 2003 .. 2007: colours change every year, white in 2007
    const model = await validModel('timeline.glb', ['--date', first, '--step', 'year', '--count', String(count)]);
    const json = model.json;
    const dates = Array.from({ length: count }, (_, k) => s.addYears(first, k));
    const timeline = json.animations.find(a => a.name === 'timeline');
    assert.deepStrictEqual(timeline.extras.dates, dates);
    assert.deepStrictEqual([json.asset.extras.firstDate, json.asset.extras.count, json.asset.extras.fps],
                           [first, count, fps]);

    const values = dates.map(date => s.exportedValues(dir, [...LOAD, '--date', date]));
    for (let k = 0; k < count; ++k)
        checkColumns(model, g.worldMatrices(model, g.poseAt(model, timeline, k / fps)), values[k], 2003 + k);

    // Half-way from the 2004 key to the 2005 key: heights half-way, the colours of 2004.
    const halfway = values[1].map((v, i) => ({ zip: v.zip, value: (v.value + values[2][i].value) / 2 }));
    checkColumns(model, g.worldMatrices(model, g.poseAt(model, timeline, 1.5 / fps)), halfway, 2004);

    // The sample holds a change these keys show: 77004's first campus, 228 of 323 in 2004, 225 in 2005.
    const [before, after] = [2004, 2005].map(year => s.faceLevels(s.columnColour(s.enrollment(77004), 1, year), 0));
    assert.notDeepStrictEqual(before, after);
});
