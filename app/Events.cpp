// Wake-up events of the worker threads on Linux eventfd descriptors.
#include "app/Events.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

int create_event(bool signalled) {
    return eventfd(signalled ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
}

bool set_event(int fd) {
    const uint64_t one = 1;
    ssize_t n;
    do {
        n = write(fd, &one, sizeof(one));
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof(one));
}

bool reset_event(int fd) {
    uint64_t counter = 0;
    ssize_t n;
    do {
        n = read(fd, &counter, sizeof(counter));
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof(counter)))
        return true;
    // A non-blocking eventfd whose counter is already 0 refuses the read: the event is reset already.
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}
