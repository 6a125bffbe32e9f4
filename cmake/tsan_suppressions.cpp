// ThreadSanitizer sees only instrumented code, and two libraries here are not:
// - libzmq comes from the system: the hand-offs between its I/O threads and its
//   callers (lock-free pipes over atomics it compiled itself) read as data races.
// - libstdc++ fills std::ctype<char>'s narrow() cache lazily, writing the same
//   byte from whichever thread gets there first; Boost.Format's parser calls it
//   whenever two threads log at once.
// - libzmq's I/O threads read the addresses their callers gave it, handed over
//   through those pipes, with libstdc++'s out-of-line string and stream code
//   (when a connection is made again); the report then shows only that code,
//   as unwinding stops at libzmq.
// Reports matching any of these are set aside; races within the project's own
// code are still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libzmq.so\n"
           "race:std::ctype<char>::narrow\n"
           "race:std::__cxx11::basic_string<char, std::char_traits<char>, "
           "std::allocator<char> >::compare\n"
           "race:std::basic_streambuf<char, std::char_traits<char> >::xsputn\n";
}
