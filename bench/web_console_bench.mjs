// web_console_bench: `seq 1 100000` on a console, from the Enter that asks for it until its
// last line shows, through the browser page of tolvi-relay --web and through telnet in tmux
// on the same connector, both 120 x 40; prints both, and their ratio.
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

// telnet in tmux, with two clients of it: one in control mode that sends the keys and reads the
// screen between runs, and one in a terminal of 120 x 40 (made by script) that gets what tmux
// draws for a user: the last line shows when it reaches that terminal.
class TelnetInTmux {
    constructor(port) {
        execFileSync('tmux', [...tmux, 'new-session', '-d', '-s', 'bench', '-x', '120', '-y', '40',
                              `telnet 127.0.0.1 ${port}`, ';', 'set-option', '-g', 'status', 'off']);
        this.control = spawn('tmux', [...tmux, '-C', 'attach-session', '-t', 'bench'],
                             { stdio: ['pipe', 'pipe', 'ignore'] });
        this.text = '';
        this.waiting = [() => {}];  // the answer to attach-session itself
        this.control.stdout.setEncoding('utf8');
        this.control.stdout.on('data', (chunk) => {
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
        this.Command('refresh-client -f no-output');  // the screen is read, not the output

        const attach = ['tmux', ...tmux, 'attach-session', '-t', 'bench'].join(' ');
        this.viewer = spawn('script', ['-qfc', `stty cols 120 rows 40; exec ${attach}`, '/dev/null'],
                            { stdio: ['pipe', 'pipe', 'ignore'] });
        this.drawn = '';
        this.viewer.stdout.setEncoding('latin1');
        this.viewer.stdout.on('data', (chunk) => {
            this.drawn = (this.drawn + chunk).slice(-4096);
            this.onDrawn?.();
        });
    }

    Command(line) {
        return new Promise((resolve) => {
            this.waiting.push(resolve);
            this.control.stdin.write(line + '\n');
        });
    }

    async ScreenShows(text, ms) {
        const deadline = Date.now() + ms;
        let screen;
        while (!(screen = await this.Command('capture-pane -p -t bench')).includes(text)) {
            if (Date.now() > deadline)
                throw new Error(`telnet's screen does not show ${text}:\n${screen}`);
            await Sleep(10);
        }
    }

    Drawn(text, ms) {
        return WithTimeout(new Promise((resolve) => {
            this.onDrawn = () => {
                if (this.drawn.includes(text)) {
                    this.onDrawn = null;
                    resolve();
                }
            };
        }), ms, `telnet's terminal showing ${text}`);
    }

    Close() {
        this.viewer.kill();
        this.control.stdin.end();
        execFileSync('tmux', [...tmux, 'kill-server']);
    }
}

// From the keystroke that asks for the output (the Enter after the command) until the screen
// shows its last line; the screen is cleared first, so the line is the new one.
async function ThroughTelnet(telnet) {
    await telnet.Command('send-keys -R -t bench');
    await telnet.Command('clear-history -t bench');
    await telnet.Command('send-keys -t bench seq');
    await telnet.ScreenShows('seq', 5000);
    await Sleep(100);  // what it drew of that has come
    telnet.drawn = '';
    const drawn = telnet.Drawn(String(last), 30000);
    const start = performance.now();
    await telnet.Command('send-keys -t bench Enter');
    await drawn;
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

// Runs of one client: the first warms up (the page's script is compiled as it runs) and is
// shown apart; the median of the rest counts.
async function Measure(run) {
    const times = [];
    for (let i = 0; i <= runs; ++i)
        times.push(await run());
    const shown = times.map((t) => t.toFixed(0));
    return { median: Median(times.slice(1)), runs: `${shown[0]} | ${shown.slice(1).join(' ')}` };
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

    const terminal = new TelnetInTmux(port);
    await terminal.ScreenShows('ready>', 5000);
    const telnet = await Measure(() => ThroughTelnet(terminal));
    terminal.Close();
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
                'from the Enter that asks for it until the last line shows, in ms:');
    const line = (name, m) =>
        console.log(`  ${name.padEnd(26)} median ${m.median.toFixed(0).padStart(4)}   (runs ${m.runs})`);
    line('telnet in tmux, 120 x 40', telnet);
    line(`browser page, ${size}`, web);
    console.log(`  ratio browser/telnet       ${(web.median / telnet.median).toFixed(2)}  (2 at most)`);
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
