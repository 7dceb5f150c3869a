// The page in headless Chromium, driven by puppeteer-core, both ways of
// waiting for a line (JSPI, and the worker behind tools/serve-page): the
// rows type at the page's terminal as a user does, one run after another,
// and each run's screen and call list must be what tools/wasi-run makes
// of the same keys at a pseudo-terminal under Node. Skipped (status 77)
// only where Chromium cannot start.
//   node tests/page_test.js PAGE_DIR CHROMIUM
'use strict';
const puppeteer = require('puppeteer-core');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const assert = require('node:assert/strict');

const [pageDir, chromium] = process.argv.slice(2);
const tools = path.join(__dirname, '../tools');
const X = (n) => 'x'.repeat(n);
const prompt = ['', 'Enter some characters.'];
// Keys: Enter is CR, ^D is Ctrl-D. The screen as the page's terminal
// shows it when the run has ended, and the cursor's column where the
// program ended its echo with LF; stack_smash shows its guard first.
const runs = [
  { name: 'a line', keys: 'hello\r', screen: [...prompt, 'hello', 'hello'],
    cursorX: 0 },
  { name: 'a line over 80 bytes', keys: X(100) + '\r',
    screen: [...prompt, X(80), X(20), X(80)] },
  { name: 'Ctrl-D at once: nothing of the last line is left', keys: '^D',
    screen: prompt },
  { name: 'Ctrl-D after text', keys: 'abc^D', screen: [...prompt, 'abcabc'] },
  { name: 'an overrun stack', program: 'stack_smash', keys: X(64) + '\r',
    screen: [...prompt, 'guard', X(64)], trap: true },
];
// The guard, and the canary that shows it, are new for each run.
const unguarded = (text) =>
    text.replace(/guard [0-9a-f]+ canary [0-9a-f]+/, 'guard');

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'page-test-'));
const keysAsTyped = (keys) => keys.replaceAll('^D', '\x04');

// The calls of the same keys typed at a pseudo-terminal under Node: in
// line mode the terminal hands the module the same line however early it
// was typed.
function underNode(run) {
  const trace = path.join(tmp, 'node.trace');
  fs.rmSync(trace, { force: true });
  const module = path.join(pageDir, (run.program || 'lineecho') + '.wasm');
  const child = spawn('script', ['-qec',
    `LINEECHO_WASI_TRACE='${trace}' exec '${tools}/wasi-run' '${module}'`,
    '/dev/null'], { stdio: ['pipe', 'ignore', 'inherit'] });
  child.stdin.write(keysAsTyped(run.keys));
  return new Promise((done) => child.on('exit', () => {
    child.stdin.destroy();
    done(fs.readFileSync(trace, 'utf8').trimEnd().split('\n'));
  }));
}

async function typeAt(tab, keys) {
  for (const part of keys.split(/(\^D|\r)/)) {
    if (part === '^D') {
      await tab.keyboard.down('Control');
      await tab.keyboard.press('d');
      await tab.keyboard.up('Control');
    } else if (part === '\r') {
      await tab.keyboard.press('Enter');
    } else if (part) {
      await tab.keyboard.type(part);
    }
  }
}

async function check(tab, mode, run) {
  await tab.select('#program', run.program || 'lineecho');
  await tab.click('#run');
  await tab.waitForFunction(() => document.body.dataset.state === 'reading');
  // The read shows as a call that waits.
  const waiting = await tab.$$eval('#calls li.waiting code',
                                   (rows) => rows.map((r) => r.textContent));
  assert.equal(waiting.length, 1, `${mode}, ${run.name}: ${waiting}`);
  assert.match(waiting[0], /^fd_read\(0, .* \.\.\.$/);
  await typeAt(tab, run.keys);
  await tab.waitForFunction(
      () => ['exited', 'trapped'].includes(document.body.dataset.state));
  const seen = await tab.evaluate(async () => {
    // The terminal shows what it was given once it has parsed it.
    await new Promise((parsed) => page.terminal.write('', parsed));
    const lines = [];
    const buffer = page.terminal.buffer.active;
    for (let i = 0; i < buffer.length; i++)
      lines.push(buffer.getLine(i).translateToString(true));
    while (lines.length && !lines[lines.length - 1]) lines.pop();
    return {
      cursorX: buffer.cursorX,
      state: document.body.dataset.state,
      lines,
      calls: [...document.querySelectorAll('#calls li code')].map(
          (c) => c.textContent),
    };
  });
  const where = `${mode}, ${run.name}`;
  assert.deepEqual(seen.lines.map(unguarded), run.screen, where);
  // A terminal shows LF as CR LF.
  if ('cursorX' in run) assert.equal(seen.cursorX, run.cursorX, where);
  const node = await underNode(run);
  // Node's runner ends a trap by SIGABRT; the page says it trapped.
  assert.equal(seen.state, run.trap ? 'trapped' : 'exited', where);
  assert.equal(seen.calls.pop(), run.trap ? '+++ trapped: unreachable +++'
                                           : node.pop(), where);
  if (run.trap) assert.equal(node.pop(), '+++ killed by SIGABRT +++', where);
  assert.deepEqual(seen.calls.map(unguarded), node.map(unguarded), where);
}

(async () => {
  const server = spawn(path.join(tools, 'serve-page'), [pageDir, '0'],
                       { stdio: ['ignore', 'pipe', 'inherit'] });
  const url = await new Promise((found) =>
      server.stdout.once('data', (data) => found(String(data).trim())));
  let browser;
  try {
    browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      userDataDir: path.join(tmp, 'profile'),
      args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
             '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
  } catch (error) {
    console.log(`skipped: Chromium cannot start: ${error.message}`);
    server.kill();
    process.exit(77);
  }
  let status = 0;
  try {
    for (const mode of ['jspi', 'worker']) {
      const tab = await browser.newPage();
      tab.on('pageerror', (error) => { throw error; });
      await tab.goto(`${url}?mode=${mode}`);
      assert.equal(await tab.$eval('#mode', (m) => m.value), mode);
      for (const run of runs) {
        await check(tab, mode, run);
        console.log(`ok: ${mode}, ${run.name}`);
      }
      await tab.close();
    }
  } catch (error) {
    console.log(String(error.stack || error));
    status = 1;
  }
  await browser.close();
  server.kill();
  fs.rmSync(tmp, { recursive: true, force: true });
  process.exit(status);
})();
