// The console page in a real browser, against tolvi-relay --web: it loads with its title and
// says, as a Telnet client would see it, that the pipe is not there yet; what is typed reaches
// the pipe (255 too); the pipe's output, 255 included, lands in the terminal; 1 MiB of it
// arrives complete and in order; a Telnet client that joins is named on the page, and the
// page's "Take over" ends that client's session with a line that names the page.
//   node browser_console_test.mjs TOLVI_RELAY NODE_MODULES
import net from 'node:net';
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
                                                     '--max-clients', '2'], 1),
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
