// gltf.js -- reads a binary glTF 2.0 file as a viewer does, without any of tallyrender's
// code: the GLB container, accessors, the node hierarchy with its TRS, animation
// samplers at a given time, and every triangle that a viewer would show under a node,
// in model space; and the Khronos validator's verdict on the file. What the tests do not
// expect (sparse accessors, cubic splines, morph targets) is refused, never guessed.
'use strict';
const fs = require('fs');
const { client } = require('./support.js');

const GLB_MAGIC = 0x46546c67;        // "glTF"
const CHUNK_JSON = 0x4e4f534a;       // "JSON"
const CHUNK_BIN = 0x004e4942;        // "BIN\0"
const COMPONENTS = { SCALAR: 1, VEC2: 2, VEC3: 3, VEC4: 4, MAT4: 16 };
// componentType: [bytes, DataView getter, divisor when normalized]
const COMPONENT_TYPES = {
    5120: [1, 'getInt8', 127], 5121: [1, 'getUint8', 255], 5122: [2, 'getInt16', 32767],
    5123: [2, 'getUint16', 65535], 5125: [4, 'getUint32', 0], 5126: [4, 'getFloat32', 0],
};
const TRIANGLES = 4;
const KEY_TIME = 1e-6;               // seconds

// The header, the JSON chunk and the BIN chunk of a GLB file.
function readGlb(bytes) {
    if (bytes.length < 20 || bytes.readUInt32LE(0) !== GLB_MAGIC) throw new Error('not a GLB file');
    if (bytes.readUInt32LE(4) !== 2) throw new Error(`GLB version ${bytes.readUInt32LE(4)}`);
    if (bytes.readUInt32LE(8) !== bytes.length) throw new Error('GLB length differs from the file size');
    const jsonLength = bytes.readUInt32LE(12);
    if (bytes.readUInt32LE(16) !== CHUNK_JSON || 20 + jsonLength > bytes.length)
        throw new Error('the first chunk is no JSON chunk');
    const json = JSON.parse(bytes.toString('utf8', 20, 20 + jsonLength));
    let bin = null;
    const at = 20 + jsonLength;
    if (at + 8 <= bytes.length) {
        if (bytes.readUInt32LE(at + 4) !== CHUNK_BIN) throw new Error('second chunk is not BIN');
        bin = bytes.subarray(at + 8, at + 8 + bytes.readUInt32LE(at));
    }
    return { json, bin };
}

function bufferViewBytes(model, index) {
    const view = model.json.bufferViews[index];
    if (view.buffer !== 0 || model.json.buffers[0].uri !== undefined) throw new Error('data outside the BIN chunk');
    return model.bin.subarray(view.byteOffset || 0, (view.byteOffset || 0) + view.byteLength);
}

// The elements of an accessor, each an array of its components (normalized to 0..1 or
// -1..1); read once per model.
function accessor(model, index) {
    model.accessors ??= new Map();
    if (!model.accessors.has(index)) model.accessors.set(index, readAccessor(model, index));
    return model.accessors.get(index);
}

function readAccessor(model, index) {
    const a = model.json.accessors[index];
    if (a.sparse) throw new Error(`accessor ${index} is sparse`);
    const [size, getter, divisor] = COMPONENT_TYPES[a.componentType];
    const n = COMPONENTS[a.type];
    const view = model.json.bufferViews[a.bufferView];
    const bytes = bufferViewBytes(model, a.bufferView);
    const data = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const stride = view.byteStride || size * n;
    const out = [];
    for (let i = 0; i < a.count; ++i) {
        const element = [];
        for (let c = 0; c < n; ++c) {
            const v = data[getter]((a.byteOffset || 0) + i * stride + c * size, true);
            element.push(a.normalized ? Math.max(v / divisor, -1) : v);
        }
        out.push(element);
    }
    return out;
}

// ---------------------------------------------------------------------------------
// Matrices: 4 x 4, column-major as glTF stores them
// ---------------------------------------------------------------------------------
function multiply(a, b) {
    const m = new Array(16).fill(0);
    for (let c = 0; c < 4; ++c)
        for (let r = 0; r < 4; ++r)
            for (let k = 0; k < 4; ++k) m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
    return m;
}

function fromTrs(t, q, s) {
    const [x, y, z, w] = q;
    const r = [1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w),
               2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w),
               2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)];
    return [r[0] * s[0], r[1] * s[0], r[2] * s[0], 0, r[3] * s[1], r[4] * s[1], r[5] * s[1], 0,
            r[6] * s[2], r[7] * s[2], r[8] * s[2], 0, t[0], t[1], t[2], 1];
}

function transform(m, p) {
    return [0, 1, 2].map(r => m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r]);
}

// A matrix that flattens some axis to nothing: a viewer shows nothing under it.
function isCollapsed(m) {
    return [0, 4, 8].some(c => Math.hypot(m[c], m[c + 1], m[c + 2]) < 1e-12);
}

// ---------------------------------------------------------------------------------
// Animation and the hierarchy
// ---------------------------------------------------------------------------------
function slerp(a, b, f) {
    let d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    if (d < 0) { b = b.map(v => -v); d = -d; }
    if (d > 0.9995) return a.map((v, i) => v + f * (b[i] - v));
    const th = Math.acos(d), s = Math.sin(th);
    return a.map((v, i) => (Math.sin((1 - f) * th) * v + Math.sin(f * th) * b[i]) / s);
}

// The TRS of every animated node at time seconds: Map(node -> {translation, rotation, scale}).
// A time within a microsecond of a key is that key: key times are single-precision.
function poseAt(model, animation, time) {
    const pose = new Map();
    for (const channel of animation.channels) {
        const { node, path } = channel.target;
        if (path === 'weights') throw new Error('morph target weights are animated');
        const sampler = animation.samplers[channel.sampler];
        const interpolation = sampler.interpolation || 'LINEAR';
        if (interpolation === 'CUBICSPLINE') throw new Error('cubic spline samplers are not read here');
        const times = accessor(model, sampler.input).map(v => v[0]);
        const values = accessor(model, sampler.output);
        let k = 0;
        while (k + 1 < times.length && times[k + 1] <= time + KEY_TIME) ++k;
        let value = values[k];
        if (interpolation === 'LINEAR' && k + 1 < times.length && time > times[k]) {
            const f = (time - times[k]) / (times[k + 1] - times[k]);
            value = path === 'rotation' ? slerp(values[k], values[k + 1], f)
                                        : values[k].map((v, i) => v + f * (values[k + 1][i] - v));
        }
        if (!pose.has(node)) pose.set(node, {});
        pose.get(node)[path] = value;
    }
    return pose;
}

// The world matrix of every node of the default scene under a pose (null: the nodes' own TRS).
function worldMatrices(model, pose) {
    const nodes = model.json.nodes;
    const world = new Array(nodes.length).fill(null);
    const visit = (index, parent) => {
        const n = nodes[index], p = (pose && pose.get(index)) || {};
        const local = n.matrix || fromTrs(p.translation || n.translation || [0, 0, 0],
                                          p.rotation || n.rotation || [0, 0, 0, 1], p.scale || n.scale || [1, 1, 1]);
        world[index] = multiply(parent, local);
        for (const child of n.children || []) visit(child, world[index]);
    };
    const scene = model.json.scenes[model.json.scene || 0];
    for (const root of scene.nodes) visit(root, [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]);
    return world;
}

// Every triangle a viewer shows under node root: its corners in model space, the colour
// factor times COLOR_0 per corner (linear RGBA), its texture coordinates and its material.
function visibleTriangles(model, root, world) {
    const out = [];
    const visit = index => {
        const n = model.json.nodes[index];
        if (n.mesh !== undefined && !isCollapsed(world[index])) {
            for (const primitive of model.json.meshes[n.mesh].primitives) {
                if ((primitive.mode ?? TRIANGLES) !== TRIANGLES) throw new Error(`primitive mode ${primitive.mode}`);
                if (primitive.targets) throw new Error('morph targets');
                const attributes = primitive.attributes;
                const positions = accessor(model, attributes.POSITION).map(p => transform(world[index], p));
                const colours = attributes.COLOR_0 !== undefined ? accessor(model, attributes.COLOR_0) : null;
                const uvs = attributes.TEXCOORD_0 !== undefined ? accessor(model, attributes.TEXCOORD_0) : null;
                const material = model.json.materials[primitive.material];
                const factor = material.pbrMetallicRoughness?.baseColorFactor || [1, 1, 1, 1];
                const order = primitive.indices !== undefined ? accessor(model, primitive.indices).map(v => v[0])
                                                              : positions.map((_, i) => i);
                for (let t = 0; t + 2 < order.length; t += 3) {
                    const corners = order.slice(t, t + 3);
                    out.push({
                        points: corners.map(i => positions[i]),
                        colours: corners.map(i => factor.map((f, c) => f * (colours ? (colours[i][c] ?? 1) : 1))),
                        uvs: uvs && corners.map(i => uvs[i]),
                        material,
                    });
                }
            }
        }
        for (const child of n.children || []) visit(child);
    };
    visit(root);
    return out;
}

// The bytes of a model file that the Khronos validator passes with no error and no
// warning (infos allowed); otherwise an error listing every message, infos too.
async function validatedFile(file) {
    const bytes = fs.readFileSync(file);
    const validator = require(client('gltf-validator'));
    const report = await validator.validateBytes(new Uint8Array(bytes), {
        maxIssues: 0,
        externalResourceFunction: uri => Promise.reject(new Error(`the model refers to ${uri}`)),
    });
    const { numErrors, numWarnings, messages } = report.issues;
    if (numErrors === 0 && numWarnings === 0) return bytes;
    const severity = ['error', 'warning', 'info', 'hint'];
    const lines = messages.map(m => `${severity[m.severity]} ${m.code} ${m.pointer || ''}: ${m.message}`);
    throw new Error(`${file}: ${numErrors} errors, ${numWarnings} warnings from the glTF validator\n${lines.join('\n')}`);
}

module.exports = { readGlb, bufferViewBytes, poseAt, worldMatrices, visibleTriangles, validatedFile };
