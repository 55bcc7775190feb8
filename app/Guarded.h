// State shared between threads that can only be reached with its mutex held: `lock()` returns a handle that
// holds the lock for as long as it lives and gives `->` access, so reading or writing the state without the
// lock does not compile.
#pragma once

#include <mutex>

template <class T>
class CGuarded {
public:
    // Holds the lock; made only by lock(), neither copied nor moved (C++17 elision returns it in place).
    template <class U>
    class Handle {
    public:
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        U* operator->() const { return m_value; }
        U& operator*() const { return *m_value; }

    private:
        friend class CGuarded;
        Handle(std::mutex& mutex, U& value) : m_lock(mutex), m_value(&value) {}
        std::lock_guard<std::mutex> m_lock;
        U* m_value;
    };

    CGuarded() = default;
    CGuarded(const CGuarded&) = delete;
    CGuarded& operator=(const CGuarded&) = delete;

    Handle<T> lock() { return Handle<T>(m_mutex, m_value); }
    Handle<const T> lock() const { return Handle<const T>(m_mutex, m_value); }

private:
    mutable std::mutex m_mutex;
    T m_value{};
};
