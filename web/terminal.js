// The page's terminal. xterm.js shows the dialogue; what is typed is echoed
// and edited here, as a terminal's driver does (Backspace edits the line,
// Enter sends it, Ctrl-D on an empty line ends the input), and the program
// reads it a line at a time (web/library.js). Each dialogue is a fresh
// instance of the program (createTrelvo, from trelvo.js); when one ends,
// Enter starts another.
(function () {
  'use strict';

  const kEndedMessage =
    '\n\x1b[1mIl dialogo è terminato.\x1b[0m Premere Invio per ricominciare.\n';
  const kFailedMessage =
    '\n\x1b[1mIl programma si è fermato per un errore.\x1b[0m Premere Invio per ricominciare.\n';

  const term = new Terminal({
    cols: 82,
    rows: 34,
    convertEol: true,
    scrollback: 100000,
    fontFamily: 'DejaVu Sans Mono, Liberation Mono, Menlo, Consolas, monospace',
    fontSize: 15,
    cursorBlink: true,
  });
  term.open(document.getElementById('terminale'));
  term.focus();

  const encoder = new TextEncoder();
  let wasmBinary = null;
  let output = [];      // what the program wrote, not yet shown: byte arrays
  let line = '';        // the line being typed
  const sent = [];      // lines sent and not yet read (bytes); null: end of input
  let reader = null;    // the program waiting for a line: {size, resolve}
  let keyWaiter = null; // the program waiting for one key: its resolve
  let running = false;  // a dialogue runs (false also while it loads)

  function show() {
    for (const bytes of output) term.write(bytes);
    output = [];
  }

  // Bytes written through the C library's streams, one at a time.
  function put(code) {
    output.push(Uint8Array.of(code & 0xff));
  }

  // Hands the first line sent to the waiting program, at most `size` bytes
  // of it at a time.
  function serve() {
    if (reader === null || sent.length === 0) return;
    const {size, resolve} = reader;
    reader = null;
    const bytes = sent[0];
    if (bytes === null) {
      resolve(new Uint8Array(0));
      return;
    }
    if (bytes.length <= size) {
      sent.shift();
      resolve(bytes);
    } else {
      sent[0] = bytes.subarray(size);
      resolve(bytes.subarray(0, size));
    }
  }

  const terminal = {
    write(bytes) {
      output.push(bytes);
    },
    readLine(size) {
      show();
      return new Promise((resolve) => {
        reader = {size, resolve};
        serve();
      });
    },
    waitKey() {
      show();
      return new Promise((resolve) => {
        keyWaiter = resolve;
      });
    },
  };

  function type(key) {
    if (key === '\r' || key === '\n') {
      term.write('\r\n');
      sent.push(encoder.encode(line + '\n'));
      line = '';
      serve();
    } else if (key === '\x7f' || key === '\b') {
      if (line.length > 0) {
        line = Array.from(line).slice(0, -1).join('');
        term.write('\b \b');
      }
    } else if (key === '\x04') {
      if (line.length === 0) {
        sent.push(null);
        serve();
      }
    } else if (key >= ' ' && !key.startsWith('\x1b')) {
      line += key;
      term.write(key);
    }
  }

  term.onData((data) => {
    // Arrows and other keys send escape sequences: they are not typed.
    if (data.startsWith('\x1b')) {
      if (keyWaiter !== null) takeKey();
      return;
    }
    for (const key of data) {
      if (keyWaiter !== null) {
        takeKey();
      } else if (running) {
        type(key);
      } else if (key === '\r' && wasmBinary !== null) {
        start();
      }
    }
  });

  function takeKey() {
    const resolve = keyWaiter;
    keyWaiter = null;
    resolve();
  }

  function finish(message) {
    if (!running) return;
    running = false;
    reader = null;
    keyWaiter = null;
    show();
    term.write(message);
  }

  async function start() {
    running = true;
    line = '';
    sent.length = 0;
    output = [];
    term.reset();
    term.focus();
    try {
      if (wasmBinary === null) {
        const response = await fetch('trelvo.wasm');
        wasmBinary = await response.arrayBuffer();
      }
      const program = await createTrelvo({
        terminal,
        wasmBinary,
        stdout: put,
        stderr: put,
        onAbort: () => finish(kFailedMessage),
      });
      await program.ccall('main', 'number', ['number', 'number'], [0, 0], {async: true});
      finish(kEndedMessage);
    } catch (error) {
      finish(kFailedMessage);
    }
  }

  // For the tests (tests/web/browser_test.mjs): whether the program waits
  // for a line or a key, whether the dialogue runs, and the terminal's text.
  window.trelvoPage = {
    waitsForLine: () => reader !== null,
    waitsForKey: () => keyWaiter !== null,
    running: () => running,
    text: () =>
      new Promise((resolve) => {
        term.write('', () => {
          const buffer = term.buffer.active;
          const rows = [];
          for (let y = 0; y < buffer.length; ++y) {
            const row = buffer.getLine(y);
            const text = row.translateToString(false);
            if (row.isWrapped && rows.length > 0) {
              rows[rows.length - 1] += text;
            } else {
              rows.push(text);
            }
          }
          for (let i = 0; i < rows.length; ++i) rows[i] = rows[i].replace(/ +$/, '');
          while (rows.length > 0 && rows[rows.length - 1] === '') rows.pop();
          resolve(rows.join('\n') + '\n');
        });
      }),
  };

  start();
})();
