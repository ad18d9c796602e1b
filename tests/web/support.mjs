// What the browser tests and the web console's benchmark share: tolvi-relay with its web
// console, a console on a pipe (on Linux a Unix-domain socket in TOLVI_PIPE_DIR) that does
// what the caller says, and Debian's Chromium, headless, driven over the DevTools protocol.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

export function Fail(message) {
    throw new Error(message);
}

export async function WithTimeout(promise, ms, what) {
    let timer;
    const late = new Promise((_, reject) => {
        timer = setTimeout(() => reject(new Error(`${what}: nothing after ${ms} ms`)), ms);
    });
    try {
        return await Promise.race([promise, late]);
    } finally {
        clearTimeout(timer);
    }
}

// A port nobody holds now.
export function FreePort() {
    return new Promise((resolve, reject) => {
        const probe = net.createServer();
        probe.on('error', reject);
        probe.listen(0, '127.0.0.1', () => {
            const port = probe.address().port;
            probe.close(() => resolve(port));
        });
    });
}

// A folder of its own for the pipes and the browser's profile; removed by Cleanup.
export function Workspace() {
    const dir = mkdtempSync(path.join(os.tmpdir(), 'tolvi-web-'));
    process.env.TOLVI_PIPE_DIR = dir;
    return dir;
}

// The console behind a pipe: one client at a time (the connector), every byte it sends kept,
// onData and onClient called as they come.
export class PipeConsole {
    constructor(dir, name) {
        this.path = path.join(dir, name);
        this.received = Buffer.alloc(0);
        this.client = null;
        this.onData = () => {};
        this.onClient = () => {};
    }

    Listen() {
        this.server = net.createServer((socket) => {
            this.client = socket;
            socket.on('data', (chunk) => {
                this.received = Buffer.concat([this.received, chunk]);
                this.onData(chunk);
            });
            socket.on('error', () => {});
            this.onClient(socket);
        });
        return new Promise((resolve) => this.server.listen(this.path, resolve));
    }

    // Waits until what arrived, as text, holds expected.
    async Receives(expected, ms) {
        const deadline = Date.now() + ms;
        while (!this.received.includes(expected)) {
            if (Date.now() > deadline)
                Fail(`the pipe did not receive ${JSON.stringify(expected)}; it has ` +
                     JSON.stringify(this.received.toString('latin1').slice(-200)));
            await new Promise((r) => setTimeout(r, 20));
        }
    }

    Close() {
        this.client?.destroy();
        this.server?.close();
    }
}

// tolvi-relay with the web console on any free port; resolves once it has printed each
// console's address: { process, urls: { key: url } }.
export function StartRelay(relay, args, count) {
    return new Promise((resolve, reject) => {
        const child = spawn(relay, [...args, '--web', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
        let output = '';
        const urls = {};
        const failed = () => reject(new Error(`tolvi-relay ended: ${output}`));
        child.on('exit', failed);
        const take = (chunk) => {
            output += chunk;
            for (const m of output.matchAll(/console: (http:\/\/\S+\/console\/(\w+)\?\S+)/g))
                urls[m[2]] = m[1];
            if (Object.keys(urls).length === count) {
                child.off('exit', failed);
                resolve({ process: child, urls });
            }
        };
        child.stdout.on('data', take);
        child.stderr.on('data', take);
    });
}

// Ends tolvi-relay as Ctrl-C does; fails unless it ends cleanly (a sanitizer's report makes
// its exit code another).
export async function StopRelay(relay) {
    if (!relay)
        return;
    const ended = relay.process.exitCode !== null ? relay.process.exitCode
                                                  : new Promise((r) => relay.process.on('exit', r));
    relay.process.kill('SIGINT');
    const code = await WithTimeout(Promise.resolve(ended), 5000, 'tolvi-relay after SIGINT');
    if (code !== 0)
        Fail(`tolvi-relay ended with ${code}`);
}

// Chromium now and then never gets as far as its DevTools address on a loaded machine: that
// start is given up and one more made, with a profile of its own.
export async function LaunchBrowser(nodeModules, dir) {
    const require = createRequire(path.resolve(nodeModules, 'noop.js'));
    const puppeteer = require('puppeteer-core');
    const launch = (profile) => puppeteer.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        headless: true,
        userDataDir: path.join(dir, profile),
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
               '--disable-background-networking', '--disable-component-update', '--disable-sync'],
        timeout: 30000,
    });
    try {
        return await launch('profile');
    } catch (e) {
        console.log(`chromium did not start (${e.message}); once more`);
        return launch('profile-again');
    }
}

// Waits, checking each frame, until a line on the terminal's screen holds text.
export async function TerminalShows(page, text, ms) {
    try {
        await page.waitForFunction((wanted) => {
            const term = window.tolviConsole && window.tolviConsole.term;
            if (!term)
                return false;
            const buffer = term.buffer.active;
            for (let i = buffer.viewportY; i < buffer.viewportY + term.rows; ++i) {
                if (buffer.getLine(i)?.translateToString(true).includes(wanted))
                    return true;
            }
            return false;
        }, { timeout: ms, polling: 'raf' }, text);
    } catch {
        const shown = await page.evaluate(() => {
            const b = window.tolviConsole.term.buffer.active;
            const lines = [];
            for (let i = 0; i < b.length; ++i)
                lines.push(b.getLine(i).translateToString(true));
            return lines.join('\n').trim().split('\n').slice(-8).join('\n');
        });
        Fail(`the terminal did not show ${JSON.stringify(text)} within ${ms} ms; it shows:\n${shown}`);
    }
}

export function Cleanup(dir) {
    rmSync(dir, { recursive: true, force: true });
}
