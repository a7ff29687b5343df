// The viewer page in a real browser: the demo's viewer.html opened from file:// in headless chromium.
// Usage: node viewer-test.js VEXHOST WORKDIR SCREENSHOT
// Exits 77 (CTest's skip) when chromium is not installed.
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const CHROMIUM = '/usr/bin/chromium';
const TOLERANCE = 1e-5;
const [vexhost, workdir, screenshot] = process.argv.slice(2);

if (!fs.existsSync(CHROMIUM)) {
  console.log(`skipped: ${CHROMIUM} is not installed (scripts/setup.sh installs it)`);
  process.exit(77);
}
const { chromium } = require(path.join(__dirname, '..', '..', 'viewer', 'node_modules', 'playwright-core'));

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures++;
}

function readCsv(file) {
  const [header, ...rows] = fs.readFileSync(file, 'utf8').trim().split('\n');
  return { header: header.split(','), rows: rows.map((r) => r.split(',')) };
}

// The rotation part of a row-vector matrix (rows possibly scaled) as a column-vector 3x3 rotation.
function rotationOf(m) {
  const r = [[0, 0, 0], [0, 0, 0], [0, 0, 0]];
  for (let row = 0; row < 3; row++) {
    const len = Math.hypot(m[row * 4], m[row * 4 + 1], m[row * 4 + 2]);
    for (let col = 0; col < 3; col++) r[col][row] = m[row * 4 + col] / len;
  }
  return r;
}

function rotationOfQuaternion([w, x, y, z]) {
  return [
    [1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)],
    [2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)],
    [2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)],
  ];
}

function runDemo() {
  fs.rmSync(workdir, { recursive: true, force: true });
  execFileSync(vexhost, ['demo', '--out', workdir], { stdio: 'pipe' });
  const matrices = new Map(readCsv(path.join(workdir, 'matrices.csv')).rows.map((r) => [r[0], r.slice(1).map(Number)]));
  const bodies = new Set(readCsv(path.join(workdir, 'trajectory.csv')).rows.map((r) => r[2]));
  const scene = JSON.parse(fs.readFileSync(path.join(workdir, 'demo-scene.json'), 'utf8'));
  const lamps = scene.channels.filter((c) => c.type === 'DX8 Light').length;
  return { matrices, bodies, lamps };
}

// Share of sampled canvas pixels that differ from the background colour, read back in the page.
function coveredShare() {
  const canvas = document.querySelector('#view canvas');
  const copy = document.createElement('canvas');
  copy.width = canvas.width;
  copy.height = canvas.height;
  const context = copy.getContext('2d');
  context.drawImage(canvas, 0, 0);
  const pixels = context.getImageData(0, 0, copy.width, copy.height).data;
  const [r0, g0, b0] = [pixels[0], pixels[1], pixels[2]];
  let covered = 0, total = 0;
  for (let i = 0; i < pixels.length; i += 4 * 97) {
    total++;
    if (Math.abs(pixels[i] - r0) + Math.abs(pixels[i + 1] - g0) + Math.abs(pixels[i + 2] - b0) > 24) covered++;
  }
  return covered / total;
}

async function main() {
  const started = Date.now();
  const expected = runDemo();
  const profile = fs.mkdtempSync(path.join(require('os').tmpdir(), 'vex-viewer-profile-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 1024, height: 700 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--use-gl=angle', '--use-angle=swiftshader',
      '--enable-unsafe-swiftshader'],
  });
  try {
    const page = await context.newPage();
    const errors = [];
    page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', (e) => errors.push(String(e)));
    // Nothing may come from the network: the page is self-contained.
    const requests = [];
    page.on('request', (r) => {
      if (!r.url().startsWith('file:') && !r.url().startsWith('data:')) requests.push(r.url());
    });
    await page.goto('file://' + path.resolve(workdir, 'viewer.html'));
    await page.waitForFunction(() => window.vexViewer !== undefined, null, { timeout: 20000 });
    await page.waitForTimeout(500); // a few frames, and the light map's image decoded
    const share = await page.evaluate(coveredShare);
    const percent = (share * 100).toFixed(0);
    check(share > 0.05, `canvas shows the scene (${percent}% of sampled pixels differ from the background)`);
    const counts = await page.evaluate(() => [window.vexViewer.bodyCount, window.vexViewer.lampCount]);
    check(counts[0] === expected.bodies.size, `bodies: page ${counts[0]}, trajectory ${expected.bodies.size}`);
    check(counts[1] === expected.lamps, `lamps: page ${counts[1]}, scene ${expected.lamps}`);

    const last = await page.evaluate(() => window.vexViewer.frameCount - 1);
    const state = await page.evaluate((i) => window.vexViewer.stateAt(i), last);
    let worst = 0, compared = 0;
    for (const body of state) {
      const m = expected.matrices.get(body.name);
      if (!m) { check(false, `body ${body.name} has a row in matrices.csv`); continue; }
      const p = [m[12], m[13], m[14]];
      body.position.forEach((v, i) => { worst = Math.max(worst, Math.abs(v - p[i])); });
      const a = rotationOf(m), b = rotationOfQuaternion(body.quaternion);
      for (let i = 0; i < 3; i++) for (let j = 0; j < 3; j++) worst = Math.max(worst, Math.abs(a[i][j] - b[i][j]));
      compared++;
    }
    check(compared === expected.bodies.size && worst <= TOLERANCE,
      `last frame: ${compared} bodies match matrices.csv, largest difference ${worst.toExponential(2)}`);
    await page.screenshot({ path: screenshot });
    check(errors.length === 0, `no console errors${errors.length ? ': ' + errors.join(' | ') : ''}`);
    check(requests.length === 0, `no network requests${requests.length ? ': ' + requests.join(' ') : ''}`);
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  const seconds = ((Date.now() - started) / 1000).toFixed(1);
  console.log(`${failures ? 'FAILED' : 'passed'} in ${seconds} s; screenshot ${screenshot}`);
  process.exit(failures ? 1 : 0);
}

main().catch((e) => { console.error(e); process.exit(1); });
