// The run viewer page: reads the data the runner inlined, shows the scene and drives the timeline.
import * as THREE from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { makeBodies, makeCollision, makeLamp, makeLightMaps, makePlanes, makeStaticMeshes } from './scene.js';
import { Timeline } from './timeline.js';

const data = JSON.parse(document.getElementById('vex-data').textContent);
const timeline = new Timeline(data.timeline);
const $ = (id) => document.getElementById(id);

const container = $('view');
const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
renderer.setPixelRatio(window.devicePixelRatio);
container.appendChild(renderer.domElement);
const scene = new THREE.Scene();
scene.background = new THREE.Color(0x2a323a);
scene.add(new THREE.HemisphereLight(0xdde6f0, 0x404040, 0.9));

const textures = makeLightMaps(data);
const bodies = makeBodies(data);
// Trajectory columns follow the runner's body order; match by name so a missing body is just not moved.
const bodyByName = new Map(bodies.map((group, i) => [group.name, i]));
const track = timeline.names.map((name) => bodyByName.get(name));
bodies.forEach((b) => scene.add(b));
const statics = makeStaticMeshes(data, textures);
statics.forEach((m) => scene.add(m));
const collision = makeCollision(data);
scene.add(collision);
// A dense collision mesh hides what lies under it: start with its triangles off.
const collisionTriangles = data.collision.reduce((n, c) => n + c.positions.length / 9, 0);
collision.visible = collisionTriangles <= 20000;
$('wire').checked = collision.visible;

// Fit the view to the static meshes and the bodies at the first and last frames; a body that left the
// static scene (fell off the world) must not shrink it to a dot.
function sceneBounds() {
  const fixed = new THREE.Box3();
  statics.forEach((m) => fixed.expandByObject(m));
  fixed.expandByObject(collision);
  const near = fixed.clone().expandByScalar(fixed.isEmpty() ? 0 : fixed.getSize(new THREE.Vector3()).length() * 0.5);
  const box = fixed.clone();
  for (const index of [timeline.count - 1, 0]) {
    showFrame(index);
    for (const b of bodies)
      if (fixed.isEmpty() || near.containsPoint(b.position)) box.expandByObject(b);
  }
  return box.isEmpty() ? new THREE.Box3(new THREE.Vector3(-5, -1, -5), new THREE.Vector3(5, 5, 5)) : box;
}

let current = 0;
function showFrame(index) {
  current = Math.max(0, Math.min(timeline.count - 1, index));
  track.forEach((bodyIndex, column) => {
    if (bodyIndex === undefined) return;
    const p = timeline.pose(current, column);
    bodies[bodyIndex].position.set(p[0], p[1], p[2]);
    bodies[bodyIndex].quaternion.set(p[4], p[5], p[6], p[3]);
  });
}

const bounds = sceneBounds();
const centre = bounds.getCenter(new THREE.Vector3());
const radius = Math.max(3, bounds.getSize(new THREE.Vector3()).length() / 2);
const planes = makePlanes(data, radius * 20);
scene.add(planes);
const lamps = data.lamps.map((lamp) => makeLamp(lamp, centre, radius));
lamps.forEach((l) => scene.add(l));

const camera = new THREE.PerspectiveCamera(45, 1, radius * 0.01, radius * 100);
camera.position.copy(centre).add(new THREE.Vector3(0.55, 0.6, 1).normalize().multiplyScalar(radius * 2.2));
const controls = new OrbitControls(camera, renderer.domElement);
controls.target.copy(centre);
controls.update();

function resize() {
  const w = container.clientWidth, h = container.clientHeight;
  renderer.setSize(w, h, false);
  camera.aspect = w / Math.max(1, h);
  camera.updateProjectionMatrix();
}
window.addEventListener('resize', resize);
resize();

// Texts: title, summary with the frame rule, lamps.
$('title').textContent = data.title;
const thinned = timeline.stride > 1
  ? `showing one frame in ${timeline.stride} (${timeline.count} of ${timeline.recorded} recorded) ` +
    `to keep this page under ${Math.round(data.pageLimit / 1e6)} MB`
  : `all ${timeline.recorded} recorded frames`;
$('summary').textContent = `${bodies.length} bodies, ${statics.length} meshes, ${data.lamps.length} lamps; ${thinned}`;
$('lamps').innerHTML = '<b>Lamps</b>' + (data.lamps.length ? '' : '<div class="note">none</div>');
for (const lamp of data.lamps) {
  const row = document.createElement('div');
  const where = lamp.type === 'directional' ? `direction ${fmt(lamp.direction)}` : `at ${fmt(lamp.position)}`;
  const degrees = (lamp.outer * 180 / Math.PI).toFixed(0);
  const cone = lamp.type === 'spot' ? `, towards ${fmt(lamp.direction)}, cone ${degrees}°` : '';
  row.textContent = `${lamp.name}: ${lamp.type} ${where}${cone}`;
  $('lamps').appendChild(row);
}

function fmt(v) { return '(' + v.map((x) => Number(x).toFixed(3)).join(', ') + ')'; }

// Playback runs in simulated time.
let playing = false, simTime = timeline.times[0] || 0, last = null, picked = null;
const scrub = $('scrub');
scrub.max = String(Math.max(0, timeline.count - 1));
function setFrame(index) {
  showFrame(index);
  simTime = timeline.times[current] || 0;
  scrub.value = String(current);
  updateTexts();
}
function updateTexts() {
  $('clock').textContent = `frame ${timeline.frames[current] ?? 0} / ${timeline.frames[timeline.count - 1] ?? 0}` +
    `   t = ${(timeline.times[current] || 0).toFixed(3)} s`;
  showPicked();
}
function showPicked() {
  const panel = $('picked');
  if (picked === null) { panel.style.display = 'none'; return; }
  const name = bodies[picked].name;
  const column = timeline.names.indexOf(name);
  const p = column >= 0 ? timeline.pose(current, column) : [0, 0, 0];
  const speed = column >= 0 ? timeline.speed(current, column) : 0;
  panel.style.display = 'block';
  panel.replaceChildren();
  const lines = [name, `position ${fmt(p.slice(0, 3))} m`,
    `speed ${speed.toFixed(4)} m/s${timeline.stride > 1 ? ' (over kept frames)' : ''}`,
    speed < data.restSpeed ? `at rest (below ${data.restSpeed} m/s)` : 'moving'];
  lines.forEach((line, i) => { panel.appendChild(document.createElement(i ? 'div' : 'b')).textContent = line; });
}
$('play').onclick = () => {
  if (!playing && current >= timeline.count - 1) setFrame(0);
  playing = !playing;
  $('play').innerHTML = playing ? '&#x275A;&#x275A;' : '&#x25B6;';
};
$('back').onclick = () => setFrame(current - 1);
$('next').onclick = () => setFrame(current + 1);
scrub.oninput = () => setFrame(Number(scrub.value));
$('texels').onchange = (e) => {
  for (const t of Object.values(textures)) {
    t.magFilter = e.target.checked ? THREE.NearestFilter : THREE.LinearFilter;
    t.minFilter = e.target.checked ? THREE.NearestFilter : THREE.LinearMipmapLinearFilter;
    t.needsUpdate = true;
  }
};
$('wire').onchange = (e) => { collision.visible = e.target.checked; };
$('planes').onchange = (e) => { planes.visible = e.target.checked; };

// Click (not drag) on a body: its name, position, speed and rest state at the shown frame.
const raycaster = new THREE.Raycaster();
let downAt = null;
renderer.domElement.addEventListener('pointerdown', (e) => { downAt = [e.clientX, e.clientY]; });
renderer.domElement.addEventListener('pointerup', (e) => {
  if (!downAt || Math.hypot(e.clientX - downAt[0], e.clientY - downAt[1]) > 4) return;
  const rect = renderer.domElement.getBoundingClientRect();
  const ndc = new THREE.Vector2(((e.clientX - rect.left) / rect.width) * 2 - 1,
    -((e.clientY - rect.top) / rect.height) * 2 + 1);
  raycaster.setFromCamera(ndc, camera);
  const hit = raycaster.intersectObjects(bodies, true)[0];
  picked = hit ? hit.object.userData.body : null;
  showPicked();
});

function animate(now) {
  if (playing && last !== null && timeline.count > 1) {
    simTime += ((now - last) / 1000) * Number($('speed').value);
    const end = timeline.times[timeline.count - 1];
    if (simTime >= end) { simTime = end; playing = false; $('play').innerHTML = '&#x25B6;'; }
    const index = timeline.indexAt(simTime);
    if (index !== current) { showFrame(index); scrub.value = String(current); updateTexts(); }
  }
  last = now;
  controls.update();
  renderer.render(scene, camera);
  requestAnimationFrame(animate);
}
setFrame(0);
requestAnimationFrame(animate);

// Read-only hook for tests and scripts: what the scene's objects hold at a kept frame.
window.vexViewer = {
  bodyCount: bodies.length,
  lampCount: lamps.length,
  frameCount: timeline.count,
  frameNumbers: timeline.frames.slice(),
  stride: timeline.stride,
  stateAt(index) {
    setFrame(index);
    renderer.render(scene, camera);
    return bodies.map((b) => ({
      name: b.name,
      position: b.position.toArray(),
      quaternion: [b.quaternion.w, b.quaternion.x, b.quaternion.y, b.quaternion.z],
    }));
  },
};
