// The console page: a terminal whose input and output go through a WebSocket at the page's
// own address, which the program bridges to the console as one more Telnet client.
(function () {
    'use strict';
    const term = new Terminal({
        cursorBlink: true,
        // xterm.js's own default: a longer history slows every line that scrolls it.
        scrollback: 1000,
        fontFamily: 'Consolas, "DejaVu Sans Mono", "Liberation Mono", monospace',
        fontSize: 15,
    });
    const fit = new FitAddon.FitAddon();
    term.loadAddon(fit);
    term.open(document.getElementById('terminal'));
    fit.fit();
    window.addEventListener('resize', () => fit.fit());

    const state = { term: term, socket: null, attach: null };
    // The console's WebSocket; with take, every other typing client is let go first.
    function Open(take) {
        const address = new URL(window.location.href);
        address.protocol = 'ws:';
        if (take)
            address.searchParams.set('take', '1');
        const socket = new WebSocket(address);
        state.socket = socket;
        socket.addEventListener('open', () => {
            state.attach = new AttachAddon.AttachAddon(socket);
            term.loadAddon(state.attach);
            term.focus();
        });
        // As a Telnet client says it when the other end closes.
        socket.addEventListener('close', () => {
            if (state.socket === socket)
                term.write('\r\nConnection closed by foreign host.\r\n');
        });
    }
    Open(false);

    // "Take over": this page becomes the one that types; watchers stay.
    document.getElementById('take').addEventListener('click', () => {
        const old = state.socket;
        state.socket = null;
        if (state.attach)
            state.attach.dispose();
        old.close();
        Open(true);
    });

    // For whoever debugs the page from the browser's console.
    window.tolviConsole = state;
})();
