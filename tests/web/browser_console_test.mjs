// The console page in a real browser, against tolvi-relay --web: it loads with its title and
// says, as a Telnet client would see it, that the pipe is not there yet; what is typed reaches
// the pipe (255 too); the pipe's output, 255 included, lands in the terminal; 1 MiB of it
// arrives complete and in order; a Telnet client that joins is named on the page, and the
// page's "Take over" ends that client's session with a line that names the page. The console is
// recorded: its recordings page plays it in asciinema's player, and the screen at a marker is
// the console's at that moment.
//   node browser_console_test.mjs TOLVI_RELAY NODE_MODULES
import net from 'node:net';
import path from 'node:path';
import { Cleanup, Fail, FreePort, LaunchBrowser, PipeConsole, StartRelay, StopRelay,
         TerminalShows, WithTimeout, Workspace } from './support.mjs';

const [relayPath, nodeModules] = process.argv.slice(2);
const dir = Workspace();
let relay, browser, pipe;

// 1 MiB in lines of 64 bytes, each with a character of two bytes (cut, somewhere, between two
// of the relay's reads) and a raw 255: the bytes sent, and the text the terminal must get.
function Stream() {
    const parts = [], text = [];
    for (let n = 0; n < 16384; ++n) {
        const head = `${String(n).padStart(6, '0')} caf\u00e9 `;
        const tail = '-'.repeat(64 - Buffer.byteLength(head) - 3) + '\r\n';
        parts.push(Buffer.from(head), Buffer.from([0xff]), Buffer.from(tail));
        text.push(head + '\u00ff' + tail);
    }
    return { bytes: Buffer.concat(parts), text: text.join('') };
}

async function Main() {
    const port = await FreePort();
    relay = await WithTimeout(StartRelay(relayPath, ['\\\\.\\pipe\\webtest', String(port),
                                                     '--description', 'Browser test',
                                                     '--max-clients', '2', '--record',
                                                     '--alert', '^after the take',
                                                     '--record-dir', path.join(dir, 'rec'),
                                                     '--audit', path.join(dir, 'audit.jsonl')], 1),
                              10000, 'tolvi-relay\'s console address');
    const url = relay.urls[port];
    browser = await LaunchBrowser(nodeModules, dir);
    const page = await browser.newPage();
    await page.goto(url, { waitUntil: 'load', timeout: 15000 });
    const title = await page.title();
    if (title !== 'Browser test \u2014 \\\\.\\pipe\\webtest')
        Fail(`page title ${JSON.stringify(title)}`);
    await TerminalShows(page, 'attaching console,wait ...', 5000);

    pipe = new PipeConsole(dir, 'webtest');
    await pipe.Listen();
    await TerminalShows(page, 'connected!', 5000);
    await pipe.Receives('\r', 3000);  // the connector's opening carriage return

    pipe.client.write(Buffer.concat([Buffer.from('byte '), Buffer.from([0xff]), Buffer.from(' shown\r\n')]));
    await TerminalShows(page, 'byte \u00ff shown', 5000);

    await page.keyboard.type('typed text');
    await page.keyboard.press('Enter');
    await pipe.Receives('typed text\r', 5000);
    if (pipe.received.includes('\r\0'))
        Fail('the Telnet CR NUL reached the pipe');
    // A binary message, as xterm.js sends mouse reports: a 255 in it is one byte at the pipe.
    await page.evaluate(() => window.tolviConsole.socket.send(new Uint8Array([0x41, 0xff, 0x42])));
    await pipe.Receives(Buffer.from([0x41, 0xff, 0x42]), 5000);

    const stream = Stream();
    await page.evaluate(() => {
        window.arrived = [];
        window.tolviConsole.socket.addEventListener('message', (e) => window.arrived.push(e.data));
    });
    pipe.client.write(stream.bytes);
    await TerminalShows(page, '016383 caf\u00e9 \u00ff', 20000);
    const arrived = await page.evaluate(() => window.arrived.join(''));
    if (arrived !== stream.text) {
        let at = 0;
        while (at < arrived.length && arrived[at] === stream.text[at])
            ++at;
        Fail(`1 MiB: ${arrived.length} characters of ${stream.text.length} arrived, ` +
             `different from ${at} on: ${JSON.stringify(arrived.slice(at, at + 40))}`);
    }

    // A shared console: the page hears of a Telnet client, and takes the console from it.
    const telnet = net.connect(port, '127.0.0.1');
    let told = '';
    telnet.on('data', (d) => { told += d.toString('latin1'); });
    const closed = new Promise((resolve) => telnet.on('close', resolve));
    await TerminalShows(page, '*** 127.0.0.1 joined', 5000);
    await page.click('#take');
    await WithTimeout(closed, 5000, 'the Telnet client\'s end after the take');
    if (!told.includes('\r\n*** web 127.0.0.1 took the console\r\n'))
        Fail(`the Telnet client was told ${JSON.stringify(told.slice(-120))}`);
    // A new screen after the take: its alert is one more marker.
    await TerminalShows(page, '016383 caf', 5000);
    pipe.client.write('\x1b[2J\x1b[Hafter the take\r\n');
    await TerminalShows(page, 'after the take', 5000);
    await new Promise((r) => setTimeout(r, 300));
    await Replay(url);
}

// The recording, played: at the take the screen is the stream's end; at the alert it is the
// screen cleared and printed anew.
async function Replay(consoleUrl) {
    const address = new URL(consoleUrl);
    const token = address.searchParams.get('token');
    const port = address.pathname.split('/').pop();
    const page = await browser.newPage();
    const list = `${address.origin}/recordings/${port}?token=${token}`;
    await page.goto(list, { waitUntil: 'load', timeout: 15000 });
    await page.waitForSelector('#list:not([hidden]) a', { timeout: 5000 });
    const played = await page.$eval('#list tbody tr:first-child a:last-child', (a) => a.href);
    const alert = await page.$eval('#list tbody tr:first-child td:nth-child(5) a', (a) => a.href);
    await page.goto(played, { waitUntil: 'load', timeout: 15000 });
    await page.waitForFunction(() => window.tolviRecordings.ready, { timeout: 10000 });
    const labels = await page.evaluate(() => window.tolviRecordings.markers.map((m) => m.label));
    const take = labels.indexOf('web 127.0.0.1 took the console');
    if (take < 0 || labels.indexOf('127.0.0.1 joined') > take ||
        labels.indexOf('127.0.0.1 was taken over by web 127.0.0.1') < take)
        Fail(`the recording's markers: ${JSON.stringify(labels)}`);
    const screen = async () => page.evaluate(() => document.querySelector('.ap-term').innerText);
    await page.evaluate((i) => window.tolviRecordings.player.seek({ marker: i }), take);
    let shown = '';
    for (let i = 0; i < 50 && !shown.includes('016383 caf'); ++i) {
        await new Promise((r) => setTimeout(r, 100));
        shown = await screen();
    }
    // A byte that is not UTF-8 is U+FFFD in a recording.
    if (!shown.includes('016383 caf\u00e9 \ufffd') || shown.includes('after the take'))
        Fail(`the screen at the take: ${JSON.stringify(shown.slice(-300))}`);
    // The alert's link opens the player at the alert.
    await page.goto(alert, { waitUntil: 'load', timeout: 15000 });
    await page.waitForFunction(() => window.tolviRecordings.ready, { timeout: 10000 });
    for (let i = 0; i < 50 && !shown.startsWith('after the take'); ++i) {
        await new Promise((r) => setTimeout(r, 100));
        shown = (await screen()).trimStart();
    }
    if (!shown.startsWith('after the take') || shown.includes('016383'))
        Fail(`the screen at the alert: ${JSON.stringify(shown.slice(0, 300))}`);
}

let failed = false;
try {
    await WithTimeout(Main(), 60000, 'the browser test');
} catch (e) {
    failed = true;
    console.error(`FAIL: ${e.message}`);
}
await browser?.close().catch(() => {});
pipe?.Close();
try {
    await StopRelay(relay);
} catch (e) {
    failed = true;
    console.error(`FAIL: ${e.message}`);
}
Cleanup(dir);
console.log(`browser console test: ${failed ? '0 passed, 1 failed' : '1 passed, 0 failed'}`);
process.exit(failed ? 1 : 0);
