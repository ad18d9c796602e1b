// Redraws the picture of the console page in the README and in the help page (which carries
// it inside, being one file): headless Chromium on tolvi-relay --web, with the demo console of
// the test pipe server, after a few commands.
//   node web/screenshot.mjs [BUILD]     (build/native)
import { execFileSync, spawn } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { Cleanup, FreePort, LaunchBrowser, StartRelay, StopRelay, TerminalShows, WithTimeout,
         Workspace } from '../tests/web/support.mjs';

const build = path.resolve(process.argv[2] || 'build/native');
const source = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const out = path.join(source, 'docs/console.png');
const help = path.join(source, 'res/tolvi.html');
const dir = Workspace();
const console_ = spawn(path.join(build, 'tools/tolvi-pipeserver'), ['\\\\.\\pipe\\com1', 'console'],
                       { stdio: 'ignore' });
let relay, browser;
try {
    const port = await FreePort();
    relay = await WithTimeout(
        StartRelay(path.join(build, 'src/relay/tolvi-relay'),
                   ['\\\\.\\pipe\\com1', String(port), '--description', 'Build server VM'], 1),
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
} finally {
    await browser?.close().catch(() => {});
    await StopRelay(relay).catch(() => {});
    console_.kill();
    Cleanup(dir);
}
