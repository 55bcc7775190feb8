// Leak checking of the window tests. The toolkit's libraries set up tables while they are loaded and
// leave them to the end of the process (GLib leaks its first quark table on purpose when it grows).
// Allocations made while the libraries load at start-up are therefore left out of leak checking: from
// before the first library initialiser to after the last, as the program's own initialisers run after
// theirs. (Recognising them by the loader's frame in each allocation's stack would need the slow stack walk
// through the system libraries on every allocation, which made the window tests ten times slower.)

// Weak: a build without the leak checker has none of these, and its tests still link.
extern "C" {
__attribute__((weak)) void __lsan_disable();
__attribute__((weak)) void __lsan_enable();
}

namespace {

void ignore_load_time_allocations() {
    if (__lsan_disable != nullptr)
        __lsan_disable();
}

__attribute__((constructor(101))) void check_allocations_from_now_on() {
    if (__lsan_enable != nullptr)
        __lsan_enable();
}

} // namespace

__attribute__((section(".preinit_array"),
               used)) void (*const kestrix_before_libraries)() = ignore_load_time_allocations;
