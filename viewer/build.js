// Bundles three.js and src/ into one classic script (a page opened from file:// cannot load modules).
// Usage: node build.js OUTFILE
const esbuild = require('esbuild');
const path = require('path');

esbuild.buildSync({
  entryPoints: [path.join(__dirname, 'src', 'main.js')],
  bundle: true,
  format: 'iife',
  minify: true,
  target: 'es2020',
  logLevel: 'warning',
  outfile: process.argv[2],
});
