// Leak checking of the window tests. The toolkit's libraries set up tables while they are loaded and
// leave them to the end of the process (GLib leaks its old quark table on purpose when it grows); those
// allocations are recognised by their loader frame, which the slower stack walk through the system
// libraries can see.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:_dl_init\n";
}
