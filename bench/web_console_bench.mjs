// web_console_bench: `seq 1 100000` on a console, from the keystroke that asks for it until
// its last line shows, through the browser page of tolvi-relay --web and through telnet in a
// terminal (tmux) on the same connector; prints both, and their ratio.
//   node web_console_bench.mjs TOLVI_RELAY NODE_MODULES [RUNS]    (9 by default)
import { execFileSync, spawn } from 'node:child_process';
import { Cleanup, FreePort, LaunchBrowser, PipeConsole, StartRelay, StopRelay, TerminalShows,
         WithTimeout, Workspace } from '../tests/web/support.mjs';

const [relayPath, nodeModules, runsText] = process.argv.slice(2);
const runs = Number(runsText || 9);
const last = 100000;
const output = Buffer.from(Array.from({ length: last }, (_, i) => `${i + 1}\r\n`).join(''));
const dir = Workspace();
const tmux = ['-L', `tolvi-bench-${process.pid}`, '-f', '/dev/null'];
let relay, browser, pipe;

function Sleep(ms) {
    return new Promise((r) => setTimeout(r, ms));
}

function Median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.floor(sorted.length / 2)];
}

// One tmux client in control mode reads the screen for every check: a check then costs a
// line each way, not a process.
class TmuxScreen {
    constructor() {
        this.client = spawn('tmux', [...tmux, '-C', 'attach-session', '-t', 'bench'],
                            { stdio: ['pipe', 'pipe', 'ignore'] });
        this.text = '';
        this.waiting = [() => {}];  // the answer to attach-session itself
        this.client.stdout.setEncoding('utf8');
        this.client.stdout.on('data', (chunk) => {
            this.text += chunk;
            // Each command's answer comes between %begin and %end lines.
            let end;
            while ((end = this.text.search(/^%(end|error) .*$/m)) >= 0) {
                const begin = this.text.search(/^%begin .*$/m);
                const body = this.text.slice(this.text.indexOf('\n', begin) + 1, end);
                this.text = this.text.slice(this.text.indexOf('\n', end) + 1);
                this.waiting.shift()?.(body);
            }
        });
        // The pane's output is not wanted here; only what the screen shows.
        this.Command('refresh-client -f no-output');
    }

    Command(line) {
        return new Promise((resolve) => {
            this.waiting.push(resolve);
            this.client.stdin.write(line + '\n');
        });
    }

    async Shows(test, ms) {
        const deadline = Date.now() + ms;
        let screen;
        while (!test(screen = await this.Command('capture-pane -p -t bench'))) {
            if (Date.now() > deadline)
                throw new Error(`telnet's screen did not change as expected:\n${screen}`);
        }
    }

    Close() {
        this.client.stdin.end();
    }
}

// From the keystroke that asks for the output (the Enter after the command) until the screen
// shows its last line; the screen is cleared first, so the line is the new one.
async function ThroughTelnet(screen) {
    await screen.Command('send-keys -R -t bench');
    await screen.Command('clear-history -t bench');
    await screen.Command('send-keys -t bench seq');
    await screen.Shows((s) => s.includes('seq') && !s.includes(String(last)), 5000);
    const start = performance.now();
    await screen.Command('send-keys -t bench Enter');
    await screen.Shows((s) => s.split('\n').some((line) => line.trim() === String(last)), 30000);
    return performance.now() - start;
}

async function ThroughBrowser(page) {
    await page.evaluate(() => window.tolviConsole.term.reset());
    await page.keyboard.type('seq');
    await TerminalShows(page, 'seq', 5000);
    const start = performance.now();
    await page.keyboard.press('Enter');
    await TerminalShows(page, `${last}`, 30000);
    return performance.now() - start;
}

// Runs of one client; the first warms up (the page's script is compiled as it runs), the
// median of the rest counts.
async function Measure(run) {
    const times = [];
    for (let i = 0; i <= runs; ++i)
        times.push(await run());
    return Median(times.slice(1));
}

async function Main() {
    pipe = new PipeConsole(dir, 'seqbench');
    // A console that echoes what is typed and runs the command when its line ends.
    pipe.onClient = (socket) => {
        let typed = '';
        socket.write('ready> ');
        socket.on('data', (chunk) => {
            const text = chunk.toString('latin1').replace(/\0/g, '');
            socket.write(text.replace(/\r/g, '\r\n'));
            typed += text;
            if (typed.includes('seq\r')) {
                typed = '';
                socket.write(output);
            }
        });
    };
    await pipe.Listen();
    const port = await FreePort();
    relay = await WithTimeout(StartRelay(relayPath, ['\\\\.\\pipe\\seqbench', String(port)], 1),
                              10000, 'tolvi-relay');

    // telnet in a terminal of 120 x 40.
    execFileSync('tmux', [...tmux, 'new-session', '-d', '-s', 'bench', '-x', '120', '-y', '40',
                          `telnet 127.0.0.1 ${port}`]);
    const screen = new TmuxScreen();
    await screen.Shows((s) => s.includes('ready>'), 5000);
    const telnet = await Measure(() => ThroughTelnet(screen));
    screen.Close();
    execFileSync('tmux', [...tmux, 'kill-server']);
    await Sleep(300);  // the connector sees its client leave

    // The page in a window of about the same size.
    browser = await LaunchBrowser(nodeModules, dir);
    const page = await browser.newPage();
    await page.setViewport({ width: 1112, height: 728 });
    await page.goto(relay.urls[port], { waitUntil: 'load' });
    await TerminalShows(page, 'ready>', 5000);
    const size = await page.evaluate(() => `${window.tolviConsole.term.cols} x ${window.tolviConsole.term.rows}`);
    const web = await Measure(() => ThroughBrowser(page));

    console.log(`seq 1 ${last} (${(output.length / 1024).toFixed(0)} KiB) on one connector, ` +
                `median of ${runs} after a first run, from the keystroke until the last line shows:`);
    console.log(`  telnet in tmux, 120 x 40     ${telnet.toFixed(0).padStart(5)} ms`);
    console.log(`  browser page, ${size.padEnd(14)} ${web.toFixed(0).padStart(5)} ms`);
    console.log(`  ratio browser/telnet         ${(web / telnet).toFixed(2)}  (2 at most)`);
}

try {
    await Main();
} finally {
    try {
        execFileSync('tmux', [...tmux, 'kill-server'], { stdio: 'ignore' });
    } catch {
        // ended already
    }
    await browser?.close().catch(() => {});
    pipe?.Close();
    await StopRelay(relay).catch(() => {});
    Cleanup(dir);
}
