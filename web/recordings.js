// The recordings page: the console's recordings from the API, each played in asciinema's
// player with its markers (who joined, typed, took the console or left; the pipe; the alerts)
// on the timeline and in a list to jump to; the speed and the longest idle time chosen here.
(function () {
    'use strict';
    const body = document.body;
    const key = body.dataset.key;  // as the URL has it
    const token = body.dataset.token;
    const params = new URLSearchParams(window.location.search);
    const state = { player: null, markers: [], name: null, text: null };

    function FileUrl(name) {
        return '/recordings/' + key + '/' + encodeURIComponent(name) + '?token=' + token;
    }
    function PageUrl(name, at) {
        let url = '/recordings/' + key + '?token=' + token + '&play=' + encodeURIComponent(name);
        if (at !== undefined)
            url += '&at=' + at;
        return url;
    }
    function Clock(seconds) {
        const s = Math.floor(seconds);
        const two = (n) => String(n).padStart(2, '0');
        return two(Math.floor(s / 3600)) + ':' + two(Math.floor(s / 60) % 60) + ':' + two(s % 60);
    }
    function Size(bytes) {
        if (bytes >= 1 << 20)
            return (bytes / (1 << 20)).toFixed(1) + ' MiB';
        return Math.max(1, Math.round(bytes / 1024)) + ' KiB';
    }
    function Cell(row, text, className) {
        const cell = row.insertCell();
        if (text instanceof Node)
            cell.appendChild(text);
        else
            cell.textContent = text;
        if (className)
            cell.className = className;
        return cell;
    }
    function Link(text, href) {
        const a = document.createElement('a');
        a.textContent = text;
        a.href = href;
        return a;
    }

    // The markers of a recording, as its "m" events say them, in order.
    function MarkersOf(text) {
        const markers = [];
        const lines = text.split('\n');
        for (let i = 1; i < lines.length; ++i) {
            if (lines[i].indexOf('"m"') < 0)
                continue;
            try {
                const event = JSON.parse(lines[i]);
                if (event[1] === 'm')
                    markers.push({ time: event[0], label: event[2] });
            } catch (e) {
                // a line cut short at the end of a file still being written
            }
        }
        return markers;
    }

    function Play(startAt, autoPlay) {
        if (state.player)
            state.player.dispose();
        const idle = document.getElementById('idle').value;
        const options = {
            speed: Number(document.getElementById('speed').value),
            fit: 'width',
            preload: true,
            controls: true,  // the timeline with its markers, always in sight
            autoPlay: autoPlay,
            terminalFontFamily: 'Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace',
        };
        if (idle)
            options.idleTimeLimit = Number(idle);
        if (startAt)
            options.startAt = startAt;
        state.player = AsciinemaPlayer.create({ data: state.text }, document.getElementById('player'),
                                              options);
    }

    // Jumps to the marker: the player places it on its own timeline, idle time taken out.
    function Seek(index) {
        state.player.pause();
        return state.player.seek({ marker: index });
    }

    function ShowMarkers() {
        const list = document.getElementById('markers');
        list.textContent = '';
        state.markers.forEach((marker, index) => {
            const item = document.createElement('li');
            if (marker.label.startsWith('alert: '))
                item.className = 'alert';
            const button = document.createElement('button');
            button.type = 'button';
            button.textContent = Clock(marker.time) + '  ' + marker.label;
            button.addEventListener('click', () => Seek(index));
            item.appendChild(button);
            list.appendChild(item);
        });
    }

    async function Open(name, at) {
        const area = document.getElementById('player-area');
        area.hidden = false;
        document.getElementById('playing').textContent = name;
        document.getElementById('download').href = FileUrl(name);
        document.getElementById('download').download = name;
        const answer = await fetch(FileUrl(name));
        if (!answer.ok) {
            document.getElementById('status').textContent = await answer.text();
            return;
        }
        state.name = name;
        state.text = await answer.text();
        state.markers = MarkersOf(state.text);
        ShowMarkers();
        Play(null, false);
        // From an alert's link: its marker, the one at that second.
        if (at !== null) {
            const index = state.markers.findIndex((m) => Math.abs(m.time - Number(at)) < 0.0005);
            if (index >= 0)
                await Seek(index);
        }
        state.ready = true;
    }

    function Restart() {
        if (!state.player)
            return;
        const now = state.player.getCurrentTime();
        Play(now, false);
    }
    document.getElementById('speed').addEventListener('change', Restart);
    document.getElementById('idle').addEventListener('change', Restart);

    async function List() {
        const status = document.getElementById('status');
        const answer = await fetch('/api/consoles/' + key + '/recordings?token=' + token);
        const text = await answer.text();
        if (!answer.ok) {
            status.textContent = text;
            return;
        }
        const recordings = JSON.parse(text);
        if (recordings.length === 0) {
            status.textContent = 'This console has no recordings: Console options \u203a "Record the screen" makes them.';
            return;
        }
        const rows = document.querySelector('#list tbody');
        for (const r of recordings) {
            const row = rows.insertRow();
            Cell(row, new Date(r.start).toLocaleString());
            Cell(row, new Date(r.end).toLocaleString());
            Cell(row, Size(r.size), 'number');
            Cell(row, String(r.markers), 'number');
            const alerts = document.createElement('div');
            for (const a of r.alerts) {
                const line = document.createElement('div');
                line.appendChild(Link(Clock(a.seconds) + ' ' + a.label, PageUrl(r.name, a.seconds)));
                alerts.appendChild(line);
            }
            Cell(row, alerts);
            Cell(row, Link('Play', PageUrl(r.name)));
        }
        document.getElementById('list').hidden = false;
    }

    window.tolviRecordings = state;  // for the tests, and whoever debugs the page
    List();
    if (params.get('play'))
        Open(params.get('play'), params.get('at'));
})();
