// node bench/sharp-peer.mjs PREFIX install
// node bench/sharp-peer.mjs PREFIX run OUT JOBS FILE...
// node bench/sharp-peer.mjs PREFIX time-each OUT ROUNDS FILE...
//
// sharp as a yardstick for bench/compare and bench/per-file: the engine's job on the files it
// re-encodes, each written to OUT as its base name + ".jpg". PREFIX is the npm prefix sharp lives in
// (FOLDER/cache/sharp); sharp is never a dependency of Tarvolin.
//   install    npm install --prefix PREFIX sharp unless it is already there; prints sharp's version
//              and that of its libvips
//   run        shrinks the files, JOBS of them at a time
//   time-each  shrinks every file once as a warm-up, then ROUNDS rounds over all files; prints one line
//              per file: best wall time in seconds, a tab, best CPU time of the process (every
//              thread's) in seconds, a tab, the file
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

const usage = () => {
  console.error('usage: sharp-peer.mjs PREFIX install | PREFIX run OUT JOBS FILE... | PREFIX time-each OUT ROUNDS FILE...');
  process.exit(2);
};

const [prefix, command, ...rest] = process.argv.slice(2);
if (!prefix || !command) usage();
const prefixDir = path.resolve(prefix);

function loadSharp() {
  return createRequire(path.join(prefixDir, 'package.json'))('sharp');
}

if (command === 'install') {
  if (!existsSync(path.join(prefixDir, 'node_modules', 'sharp', 'package.json'))) {
    mkdirSync(prefixDir, { recursive: true });
    // npm's own chatter goes to stderr so that stdout carries only the versions.
    execFileSync('npm', ['install', '--prefix', prefixDir, '--no-audit', '--no-fund', 'sharp'],
      { stdio: ['ignore', process.stderr, process.stderr] });
  }
  const sharp = loadSharp();
  console.log(`sharp ${sharp.versions.sharp}, libvips ${sharp.versions.vips}, ` +
    `threads per image ${sharp.concurrency()}`);
  process.exit(0);
}

if (command !== 'run' && command !== 'time-each') usage();
const [out, countText, ...files] = rest;
const count = Number(countText);
if (!out || !Number.isInteger(count) || count < 1 || files.length === 0) usage();
mkdirSync(out, { recursive: true });
const sharp = loadSharp();

// The engine's settings: fit inside 1920 x 1920 without enlarging, upright per EXIF, alpha onto
// white, sRGB, JPEG Q80 progressive with optimised Huffman tables and 4:2:0; metadata is dropped,
// which is sharp's default.
function shrink(file) {
  const target = path.join(out, path.parse(file).name + '.jpg');
  return sharp(file)
    .rotate()
    .resize(1920, 1920, { fit: 'inside', withoutEnlargement: true })
    .flatten({ background: '#ffffff' })
    .toColourspace('srgb')
    .jpeg({ quality: 80, progressive: true, optimiseCoding: true, chromaSubsampling: '4:2:0' })
    .toFile(target);
}

if (command === 'run') {
  let next = 0;
  let failed = 0;
  const worker = async () => {
    while (next < files.length) {
      const file = files[next++];
      try {
        await shrink(file);
      } catch (error) {
        failed++;
        console.error(`${file}: ${error.message}`);
      }
    }
  };
  await Promise.all(Array.from({ length: Math.min(count, files.length) }, worker));
  process.exit(failed ? 1 : 0);
}

// time-each: the same file is read again and again, so libvips's operation cache would hand back
// earlier results; with it off every round does the whole work.
sharp.cache(false);
const best = new Map();
for (const file of files) await shrink(file);
for (let round = 0; round < count; round++) {
  for (const file of files) {
    const cpuBefore = process.cpuUsage();
    const start = process.hrtime.bigint();
    await shrink(file);
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    const cpu = process.cpuUsage(cpuBefore);
    const cpuSeconds = (cpu.user + cpu.system) / 1e6;
    const kept = best.get(file) ?? { seconds, cpuSeconds };
    best.set(file, { seconds: Math.min(kept.seconds, seconds), cpuSeconds: Math.min(kept.cpuSeconds, cpuSeconds) });
  }
}
for (const file of files) {
  const { seconds, cpuSeconds } = best.get(file);
  console.log(`${seconds.toFixed(4)}\t${cpuSeconds.toFixed(4)}\t${file}`);
}
