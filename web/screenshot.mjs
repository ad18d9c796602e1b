// Redraws the picture of the console page in the README and in the help page (which carries
// it inside, being one file): headless Chromium on tolvi-relay --web, with the demo console of
// the test pipe server, after a few commands; and the README's picture of its recording in the
// player, at the alert's marker, with the list of markers below it.
//   node web/screenshot.mjs [BUILD]     (build/native)
import { execFileSync, spawn } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { Cleanup, FreePort, LaunchBrowser, StartRelay, StopRelay, TerminalShows, WithTimeout,
         Workspace } from '../tests/web/support.mjs';

const build = path.resolve(process.argv[2] || 'build/native');
const source = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const out = path.join(source, 'docs/console.png');
const recordings = path.join(source, 'docs/recordings.png');
const help = path.join(source, 'res/tolvi.html');
const dir = Workspace();
const console_ = spawn(path.join(build, 'tools/tolvi-pipeserver'), ['\\\\.\\pipe\\com1', 'console'],
                       { stdio: 'ignore' });
let relay, browser;
try {
    const port = await FreePort();
    relay = await WithTimeout(
        StartRelay(path.join(build, 'src/relay/tolvi-relay'),
                   ['\\\\.\\pipe\\com1', String(port), '--description', 'Build server VM',
                    '--record', '--alert', 'up since', '--record-dir', path.join(dir, 'rec'),
                    '--audit', path.join(dir, 'audit.jsonl')], 1),
        10000, 'tolvi-relay');
    browser = await LaunchBrowser(path.join(build, 'web/node_modules'), dir);
    const page = await browser.newPage();
    await page.setViewport({ width: 760, height: 330 });
    await page.goto(relay.urls[port], { waitUntil: 'load' });
    await TerminalShows(page, 'demo>', 10000);
    for (const line of ['help', 'echo hello from the browser', 'uptime']) {
        await page.keyboard.type(line);
        await page.keyboard.press('Enter');
        await TerminalShows(page, line === 'help' ? 'commands:' : line.slice(5), 5000);
    }
    await page.keyboard.type('ec');
    await new Promise((r) => setTimeout(r, 300));
    await page.screenshot({ path: out });
    // Sixteen greys draw the text as well, at a third of the size.
    execFileSync('convert', [out, '-colors', '16', '-strip', out]);
    const picture = `data:image/png;base64,${readFileSync(out).toString('base64')}`;
    const page_ = readFileSync(help, 'utf8');
    const marked = /(<img id="console-picture"[^>]* src=")[^"]*"/;
    if (!marked.test(page_))
        throw new Error(`${help} has no <img id="console-picture" ... src="...">`);
    writeFileSync(help, page_.replace(marked, `$1${picture}"`));
    console.log(`${out} and ${help}: "${await page.title()}"`);

    // The recording so far, at the alert's marker.
    await page.keyboard.press('Enter');
    await new Promise((r) => setTimeout(r, 500));
    const address = new URL(relay.urls[port]);
    const list = `${address.origin}/recordings/${port}?token=${address.searchParams.get('token')}`;
    const player = await browser.newPage();
    await player.setViewport({ width: 800, height: 820 });
    await player.goto(list, { waitUntil: 'load' });
    await player.waitForSelector('#list:not([hidden]) td:nth-child(5) a', { timeout: 5000 });
    await player.goto(await player.$eval('#list td:nth-child(5) a', (a) => a.href), { waitUntil: 'load' });
    await player.waitForFunction(() => window.tolviRecordings.ready, { timeout: 10000 });
    await new Promise((r) => setTimeout(r, 800));
    await player.screenshot({ path: recordings });
    execFileSync('convert', [recordings, '-colors', '64', '-strip', recordings]);
    console.log(`${recordings}: "${await player.title()}"`);
} finally {
    await browser?.close().catch(() => {});
    await StopRelay(relay).catch(() => {});
    console_.kill();
    Cleanup(dir);
}
