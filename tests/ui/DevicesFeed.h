// The stand-in reader library's device list served through a named pipe instead of a file. The library's
// thread reads the list every 100 ms while holding the library's lock, so a feed that is held keeps the
// library busy, as a reader working a card keeps it busy, until the feed lets go (or its deadline passes).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

class DevicesFeed {
public:
    // Puts the pipe in place of world/devices; every read of it gives `text`.
    DevicesFeed(std::filesystem::path world, std::string text, std::chrono::seconds deadline)
        : m_world(std::move(world)), m_text(std::move(text)), m_deadline(deadline) {
        m_pipe = m_world / "devices.feed";
        ::mkfifo(m_pipe.c_str(), 0600);
        // A second name for the pipe: the library keeps opening "devices" and the feed keeps its own.
        const auto link = m_world / "devices.tmp.feed";
        std::filesystem::create_hard_link(m_pipe, link);
        std::filesystem::rename(link, m_world / "devices");
        m_thread = std::thread([this] { serve(); });
    }

    // Puts a plain file with the same list back and stops serving.
    ~DevicesFeed() {
        const auto tmp = m_world / "devices.tmp.plain";
        std::ofstream(tmp) << m_text;
        std::filesystem::rename(tmp, m_world / "devices");
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            m_hold = false;
        }
        m_cond.notify_all();
        // A read end of our own lets a server waiting to open the pipe go on and see the stop.
        const int reader = ::open(m_pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_thread.join();
        if (reader >= 0)
            ::close(reader);
        std::filesystem::remove(m_pipe);
    }

    DevicesFeed(const DevicesFeed&) = delete;
    DevicesFeed& operator=(const DevicesFeed&) = delete;

    // Whether the library has read the whole list from the pipe at least once: everything it reported
    // before the pipe came has been delivered by then (it delivers before it reads the world again).
    bool wait_served() {
        std::unique_lock lock(m_mutex);
        return m_cond.wait_for(lock, m_deadline, [this] { return m_served > 0; });
    }

    // Waits until the library opens the pipe again and keeps it waiting for the list (and so holding its
    // lock) until release() or the deadline.
    bool hold() {
        std::unique_lock lock(m_mutex);
        m_hold = true;
        const unsigned opened = m_opened;
        return m_cond.wait_for(lock, m_deadline, [&] { return m_opened > opened; });
    }

    // Lets the library go on; false if the deadline had to do it.
    bool release() {
        std::lock_guard lock(m_mutex);
        const bool held = m_hold;
        m_hold = false;
        m_cond.notify_all();
        return held;
    }

private:
    void serve() {
        for (;;) {
            // Returns once the library (or the closing feed) opens the pipe for reading.
            const int fd = ::open(m_pipe.c_str(), O_WRONLY | O_CLOEXEC);
            std::unique_lock lock(m_mutex);
            if (m_stop || fd < 0) {
                if (fd >= 0)
                    ::close(fd);
                return;
            }
            ++m_opened;
            m_cond.notify_all();
            if (!m_cond.wait_for(lock, m_deadline, [this] { return !m_hold || m_stop; }))
                m_hold = false; // the deadline let go
            lock.unlock();
            if (::write(fd, m_text.data(), m_text.size()) < 0) {
                // The reader went away: the next open finds the next reader.
            }
            ::close(fd);
            lock.lock();
            ++m_served;
            m_cond.notify_all();
        }
    }

    std::filesystem::path m_world;
    std::filesystem::path m_pipe;
    std::string m_text;
    std::chrono::seconds m_deadline;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_hold = false;
    bool m_stop = false;
    unsigned m_opened = 0;
    unsigned m_served = 0;
    std::thread m_thread;
};
