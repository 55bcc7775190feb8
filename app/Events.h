// Wake-up events of the worker threads: Linux eventfd descriptors that a worker polls beside its port.
#pragma once

// Creates a non-blocking, close-on-exec eventfd whose counter starts at 1 when `signalled` is true, else 0.
// Returns the descriptor, negative on failure. The caller owns it and closes it with close().
int create_event(bool signalled);

// Signals the event (adds 1 to its counter). Any number of calls before a reset collapse into one wake-up.
bool set_event(int fd);

// Resets the event to 0. True when it was signalled or already reset; false on any other error.
bool reset_event(int fd);
