// ThreadSanitizer sees only instrumented code, and two libraries here are not:
// - libzmq comes from the system: the hand-offs between its I/O threads and its
//   callers (lock-free pipes over atomics it compiled itself) read as data races.
// - libstdc++ fills std::ctype<char>'s narrow() cache lazily, writing the same
//   byte from whichever thread gets there first; Boost.Format's parser calls it
//   whenever two threads log at once.
// Reports with a frame in either are set aside; races within the project's own
// code are still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libzmq.so\n"
           "race:std::ctype<char>::narrow\n";
}
