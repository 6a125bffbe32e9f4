// ThreadSanitizer sees only instrumented code. libzmq comes from the system,
// uninstrumented, so the hand-offs between its I/O threads and its callers
// (lock-free pipes over atomics it compiled itself) read as data races. Set
// aside the reports that have a libzmq frame in either access or a block that
// libzmq allocated; races within the project's own code are still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libzmq.so\n";
}
