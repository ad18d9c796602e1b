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

    const address = new URL(window.location.href);
    address.protocol = 'ws:';
    const socket = new WebSocket(address);
    socket.addEventListener('open', () => {
        term.loadAddon(new AttachAddon.AttachAddon(socket));
        term.focus();
    });
    // As a Telnet client says it when the other end closes.
    socket.addEventListener('close', () => {
        term.write('\r\nConnection closed by foreign host.\r\n');
    });

    // For whoever debugs the page from the browser's console.
    window.tolviConsole = { term: term, socket: socket };
})();
