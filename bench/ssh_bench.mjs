// ssh_bench: a console over SSH as tolvi serves it (`ssh -p PORT 2323@127.0.0.1`) beside what
// a user would do instead: OpenSSH's own tunnel (`ssh -L`, through Debian's sshd on a loopback
// port) to the connector's Telnet port. 64 MiB of console output through each, a 16 MiB paste
// into a console that keeps it, and the round trip of one typed key to an echoing console (p50
// and p99); prints both and their ratios; and how long a login takes beside a flood of
// connections from another address that never log in.
//   node ssh_bench.mjs TOLVI_RELAY TOLVI_PIPESERVER [MIB] [ROUNDS] [PASTE_MIB]
//   (64, 300 and 16 by default)
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

const [relayPath, pipeServerPath, mibText, roundsText, pasteText] = process.argv.slice(2);
const streamBytes = Number(mibText || 64) * 1024 * 1024;
const rounds = Number(roundsText || 300);
const pasteBytes = Number(pasteText || 16) * 1024 * 1024;
const dir = mkdtempSync(path.join(os.tmpdir(), 'tolvi-ssh-bench-'));
const children = [];
const user = os.userInfo().username;

function Cleanup() {
    for (const child of children)
        child.kill('SIGKILL');
    rmSync(dir, { recursive: true, force: true });
}
process.on('exit', Cleanup);

function Sleep(ms) {
    return new Promise((r) => setTimeout(r, ms));
}

// Starts a program; what it prints is kept for WaitFor unless it is the data measured.
function Start(file, args, options = {}, keep = true) {
    const child = spawn(file, args, { stdio: ['ignore', 'pipe', 'pipe'], ...options });
    children.push(child);
    child.output = '';
    if (keep) {
        child.stdout?.on('data', (d) => { child.output += d; });
        child.stderr?.on('data', (d) => { child.output += d; });
    }
    return child;
}

async function WaitFor(child, pattern, ms = 10000) {
    for (const end = Date.now() + ms; Date.now() < end; await Sleep(50)) {
        const found = child.output.match(pattern);
        if (found)
            return found;
    }
    throw new Error(`no ${pattern} in: ${child.output}`);
}

function FreePort() {
    return new Promise((resolve) => {
        const s = net.createServer().listen(0, '127.0.0.1', () => {
            const { port } = s.address();
            s.close(() => resolve(port));
        });
    });
}

// The CPU seconds a process and all its descendants have used so far (Linux's /proc).
function CpuSeconds(pid) {
    let ticks = 0;
    const walk = (p) => {
        try {
            const stat = readFileSync(`/proc/${p}/stat`, 'utf8');
            const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
            ticks += Number(fields[11]) + Number(fields[12]);  // utime, stime
            for (const task of readFileSync(`/proc/${p}/task/${p}/children`, 'utf8').split(' '))
                if (task.trim())
                    walk(task.trim());
        } catch {
            // gone meanwhile
        }
    };
    walk(pid);
    return ticks / 100;
}

const sshOptions = (key) => ['-i', key, '-o', 'BatchMode=yes', '-o', 'StrictHostKeyChecking=no',
                             '-o', `UserKnownHostsFile=${dir}/known_hosts`, '-o', 'LogLevel=ERROR'];

// Reads from a stream until it has total bytes; the seconds it took from start.
function ReadAll(stream, total, start) {
    return new Promise((resolve, reject) => {
        let got = 0;
        stream.on('data', (d) => {
            got += d.length;
            if (got >= total) {
                stream.removeAllListeners('data');
                resolve((performance.now() - start) / 1000);
            }
        });
        stream.on('error', reject);
        stream.on('close', () => got < total && reject(new Error(`closed after ${got} bytes`)));
    });
}

// Typing round trips on an echoing console: one key out, its echo back, one at a time.
async function RoundTrips(write, readable, count) {
    const times = [];
    let waiting = null;
    readable.on('data', () => { if (waiting) { const w = waiting; waiting = null; w(); } });
    for (let i = 0; i < count; ++i) {
        const start = performance.now();
        await new Promise((resolve) => { waiting = resolve; write('k'); });
        times.push(performance.now() - start);
        await Sleep(2);
    }
    times.sort((a, b) => a - b);
    return { p50: times[Math.floor(count * 0.5)], p99: times[Math.floor(count * 0.99)] };
}

async function Main() {
    execFileSync('ssh-keygen', ['-q', '-t', 'ed25519', '-N', '', '-f', `${dir}/key`]);
    execFileSync('cp', [`${dir}/key.pub`, `${dir}/authorized_keys`]);
    process.env.TOLVI_PIPE_DIR = dir;
    const streamPort = await FreePort(), echoPort = await FreePort(), sinkPort = await FreePort();
    const sinkFile = `${dir}/pasted`;
    Start(pipeServerPath, ['\\\\.\\pipe\\bench-stream', 'stream', String(streamBytes)]);
    Start(pipeServerPath, ['\\\\.\\pipe\\bench-echo', 'echo']);
    Start(pipeServerPath, ['\\\\.\\pipe\\bench-sink', 'sink', sinkFile]);
    const relay = Start(relayPath, ['\\\\.\\pipe\\bench-stream', String(streamPort),
                                    '\\\\.\\pipe\\bench-echo', String(echoPort),
                                    '\\\\.\\pipe\\bench-sink', String(sinkPort),
                                    '--ssh', '0', '--ssh-keys', `${dir}/authorized_keys`]);
    const sshPort = Number((await WaitFor(relay, /SSH: listening on port (\d+)/))[1]);

    // OpenSSH's server on a loopback port of its own, for the tunnel.
    const sshd = '/usr/sbin/sshd';
    let tunnel = null;
    if (existsSync(sshd) && process.getuid() === 0) {
        mkdirSync('/run/sshd', { recursive: true });
        execFileSync('ssh-keygen', ['-q', '-t', 'ed25519', '-N', '', '-f', `${dir}/host`]);
        const sshdPort = await FreePort();
        writeFileSync(`${dir}/sshd_config`, [
            `Port ${sshdPort}`, 'ListenAddress 127.0.0.1', `HostKey ${dir}/host`,
            `AuthorizedKeysFile ${dir}/authorized_keys`, 'StrictModes no', 'UsePAM no',
            'PermitRootLogin yes', 'AllowTcpForwarding yes', `PidFile ${dir}/sshd.pid`, ''].join('\n'));
        const daemon = Start(sshd, ['-D', '-e', '-f', `${dir}/sshd_config`]);
        await WaitFor(daemon, /Server listening/);
        const local = await FreePort(), localEcho = await FreePort(), localSink = await FreePort();
        tunnel = { local, localEcho, localSink, daemon: daemon.pid, sshdPort };
        Start('ssh', [...sshOptions(`${dir}/key`), '-N', '-p', String(sshdPort),
                      '-L', `${local}:127.0.0.1:${streamPort}`,
                      '-L', `${localEcho}:127.0.0.1:${echoPort}`,
                      '-L', `${localSink}:127.0.0.1:${sinkPort}`, `${user}@127.0.0.1`]);
        for (let i = 0; i < 100; ++i) {  // the tunnel is up when its port answers
            const up = await new Promise((r) => {
                const s = net.connect(local, '127.0.0.1', () => { s.destroy(); r(true); });
                s.on('error', () => r(false));
            });
            if (up)
                break;
            await Sleep(100);
        }
        await Sleep(500);  // the probe's own client leaves the connector first
    } else {
        console.log('OpenSSH tunnel: skipped (needs /usr/sbin/sshd and root)');
    }

    const banner = 'attaching console,wait ...connected!\r\n\r\n'.length;
    // MiB/s (the median of three runs) and the CPU the serving side (servers: their pids) spent
    // for each MiB, in ms.
    const throughput = async (open, servers) => {
        const seconds = [];
        let cpu = 0;
        for (let run = 0; run < 3; ++run) {
            const start = performance.now();
            const before = servers().reduce((sum, pid) => sum + CpuSeconds(pid), 0);
            const { stream, close } = open();
            seconds.push(await ReadAll(stream, streamBytes + banner, start));
            cpu += servers().reduce((sum, pid) => sum + CpuSeconds(pid), 0) - before;
            close();
            await Sleep(300);
        }
        seconds.sort((a, b) => a - b);
        return { rate: streamBytes / 1048576 / seconds[1], cpu: cpu * 1000 / (3 * streamBytes / 1048576) };
    };
    const viaTolvi = await throughput(() => {
        const ssh = Start('ssh', [...sshOptions(`${dir}/key`), '-p', String(sshPort),
                                  `${streamPort}@127.0.0.1`], { stdio: ['pipe', 'pipe', 'ignore'] },
                          false);
        return { stream: ssh.stdout, close: () => ssh.kill() };
    }, () => [relay.pid]);
    const viaTunnel = tunnel ? await throughput(() => {
        const s = net.connect(tunnel.local, '127.0.0.1');
        return { stream: s, close: () => s.destroy() };
    }, () => [relay.pid, tunnel.daemon]) : { rate: 0, cpu: 0 };
    // OpenSSH's stdio tunnel (ssh -W) hands the console to its reader as tolvi's client does,
    // through the ssh program's standard output, where -L hands it over a TCP connection.
    const viaStdio = tunnel ? await throughput(() => {
        const ssh = Start('ssh', [...sshOptions(`${dir}/key`), '-p', String(tunnel.sshdPort), '-W',
                                  `127.0.0.1:${streamPort}`, `${user}@127.0.0.1`],
                          { stdio: ['pipe', 'pipe', 'ignore'] }, false);
        return { stream: ssh.stdout, close: () => ssh.kill() };
    }, () => [relay.pid, tunnel.daemon]) : { rate: 0, cpu: 0 };

    // A paste: pasteBytes of text (no Telnet command, no CR) into the console that keeps it,
    // timed until the console has all of it.
    const paste = Buffer.alloc(pasteBytes);
    for (let i = 0; i < pasteBytes; ++i)
        paste[i] = i % 64 === 63 ? 10 : 97 + (i % 26);
    const pasted = () => (existsSync(sinkFile) ? statSync(sinkFile).size : 0);
    const pasteRate = async (open) => {
        const seconds = [];
        for (let run = 0; run < 3; ++run) {
            const { write, close } = await open();
            const before = pasted(), start = performance.now();
            write(paste);
            while (pasted() < before + pasteBytes)
                await Sleep(2);
            seconds.push((performance.now() - start) / 1000);
            close();
            await Sleep(300);
        }
        seconds.sort((a, b) => a - b);
        return pasteBytes / 1048576 / seconds[1];
    };
    const pasteViaTolvi = await pasteRate(async () => {
        const ssh = Start('ssh', [...sshOptions(`${dir}/key`), '-p', String(sshPort),
                                  `${sinkPort}@127.0.0.1`], { stdio: ['pipe', 'pipe', 'ignore'] });
        await WaitFor({ get output() { return ssh.output; } }, /connected!/).catch(() => {});
        return { write: (b) => ssh.stdin.write(b), close: () => ssh.kill() };
    });
    const pasteViaTunnel = tunnel ? await pasteRate(async () => {
        const s = net.connect(tunnel.localSink, '127.0.0.1');
        await new Promise((r) => { let seen = ''; s.on('data', function f(d) { seen += d; if (seen.includes('connected!')) { s.off('data', f); r(); } }); });
        return { write: (b) => s.write(b), close: () => s.destroy() };
    }) : 0;

    const ssh = Start('ssh', [...sshOptions(`${dir}/key`), '-p', String(sshPort),
                              `${echoPort}@127.0.0.1`], { stdio: ['pipe', 'pipe', 'ignore'] });
    await WaitFor({ get output() { return ssh.output; } }, /connected!/).catch(() => {});
    await Sleep(500);
    const tolviTrips = await RoundTrips((k) => ssh.stdin.write(k), ssh.stdout, rounds);
    ssh.kill();  // the echoing console takes one client at a time
    await Sleep(500);
    let tunnelTrips = null;
    if (tunnel) {
        const s = net.connect(tunnel.localEcho, '127.0.0.1');
        await new Promise((r) => { let seen = ''; s.on('data', function f(d) { seen += d; if (seen.includes('connected!')) { s.off('data', f); r(); } }); });
        await Sleep(500);
        tunnelTrips = await RoundTrips((k) => s.write(k), s, rounds);
        s.destroy();
    }

    // Logins beside a flood: 300 connections from 127.0.0.2 that never log in, and a key's
    // login from 127.0.0.1 (ssh ... who, to its end), timed ten times.
    const login = () => new Promise((resolve) => {
        const start = performance.now();
        const who = Start('ssh', [...sshOptions(`${dir}/key`), '-p', String(sshPort),
                                  `${echoPort}@127.0.0.1`, 'who']);
        who.on('exit', (code) => resolve(code === 0 ? performance.now() - start : Infinity));
    });
    const flood = [];
    for (let i = 0; i < 300; ++i) {
        const s = net.connect({ port: sshPort, host: '127.0.0.1', localAddress: '127.0.0.2' });
        s.on('error', () => {});
        flood.push(s);
    }
    await Sleep(1000);
    const logins = [];
    for (let i = 0; i < 10; ++i)
        logins.push(await login());
    for (const s of flood)
        s.destroy();
    logins.sort((a, b) => a - b);

    const mib = streamBytes / 1048576;
    console.log(`${mib} MiB of console output, median of 3 runs:`);
    console.log(`  tolvi's SSH server:          ${viaTolvi.rate.toFixed(1)} MiB/s, ` +
                `${viaTolvi.cpu.toFixed(2)} ms of the relay's CPU a MiB`);
    if (tunnel) {
        console.log(`  OpenSSH tunnel to Telnet:    ${viaTunnel.rate.toFixed(1)} MiB/s, ` +
                    `${viaTunnel.cpu.toFixed(2)} ms of the relay's and sshd's CPU a MiB`);
        console.log(`  ratio (tolvi / tunnel):      ${(viaTolvi.rate / viaTunnel.rate).toFixed(2)}x, ` +
                    `CPU ${(viaTolvi.cpu / viaTunnel.cpu).toFixed(2)}x`);
        console.log(`  OpenSSH stdio tunnel (-W):   ${viaStdio.rate.toFixed(1)} MiB/s, ` +
                    `${viaStdio.cpu.toFixed(2)} ms of the relay's and sshd's CPU a MiB`);
        console.log(`  ratio (tolvi / -W tunnel):   ${(viaTolvi.rate / viaStdio.rate).toFixed(2)}x, ` +
                    `CPU ${(viaTolvi.cpu / viaStdio.cpu).toFixed(2)}x`);
    }
    console.log(`a ${pasteBytes / 1048576} MiB paste into a console, median of 3 runs:`);
    console.log(`  tolvi's SSH server:          ${pasteViaTolvi.toFixed(1)} MiB/s`);
    if (tunnel) {
        console.log(`  OpenSSH tunnel to Telnet:    ${pasteViaTunnel.toFixed(1)} MiB/s`);
        console.log(`  ratio (tolvi / tunnel):      ${(pasteViaTolvi / pasteViaTunnel).toFixed(2)}x`);
    }
    console.log('a login (ssh ... who) beside 300 connections from another address that never log in:');
    console.log(`  p50 ${logins[5].toFixed(0)} ms, slowest of 10 ${logins[9].toFixed(0)} ms` +
                `${logins[9] === Infinity ? ' (one failed)' : ''}`);
    console.log(`typing round trip, ${rounds} keys:`);
    console.log(`  tolvi's SSH server:          p50 ${tolviTrips.p50.toFixed(3)} ms, p99 ${tolviTrips.p99.toFixed(3)} ms`);
    if (tunnelTrips) {
        console.log(`  OpenSSH tunnel to Telnet:    p50 ${tunnelTrips.p50.toFixed(3)} ms, p99 ${tunnelTrips.p99.toFixed(3)} ms`);
        console.log(`  ratio (tolvi / tunnel):      p50 ${(tolviTrips.p50 / tunnelTrips.p50).toFixed(2)}x, p99 ${(tolviTrips.p99 / tunnelTrips.p99).toFixed(2)}x`);
    }
}

Main().then(() => process.exit(0), (e) => { console.error(e); process.exit(1); });
