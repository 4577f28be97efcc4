// The program's calls into JavaScript (src/base/platform_web.cpp). In the
// page, Module.terminal (web/terminal.js) hands over typed lines and keys;
// the program waits for them with Asyncify, which only the page's build
// has. The node build never calls the waiting ones.
mergeInto(LibraryManager.library, {
  trelvo_in_page: function() {
    return Module['terminal'] ? 1 : 0;
  },
  // Under node, whether a standard stream is a terminal (emscripten's own
  // isatty takes every standard stream for one).
  trelvo_node_isatty: function(fd) {
    return typeof process !== 'undefined' && require('tty').isatty(fd) ? 1 : 0;
  },
  trelvo_write: function(text, size) {
    Module['terminal'].write(HEAPU8.slice(text, text + size));
  },
#if ASYNCIFY
  trelvo_read_line__deps: ['$Asyncify'],
  trelvo_read_line: function(buffer, size) {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['terminal'].readLine(size).then(function(bytes) {
        HEAPU8.set(bytes, buffer);
        wakeUp(bytes.length);
      });
    });
  },
  trelvo_wait_key__deps: ['$Asyncify'],
  trelvo_wait_key: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['terminal'].waitKey().then(function() { wakeUp(0); });
    });
  },
#else
  trelvo_read_line: function(buffer, size) {
    return 0;
  },
  trelvo_wait_key: function() {},
#endif
});
