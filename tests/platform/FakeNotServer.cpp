// A shared library that is not a component server: it has none of the server entry points.
extern "C" __attribute__((visibility("default"))) int fakeNotServer() { return 1; }
