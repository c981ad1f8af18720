#pragma once

#include <functional>
#include <utility>

// A two-way connection to a value that lives elsewhere: a control reads the
// value through get() each time it draws and writes a new one through set().
// The control never owns the value, so the owner stays the one source of truth.
template <typename T>
struct Binding {
    std::function<T()> get;
    std::function<void(T)> set;

    // Reads and writes a variable that outlives the binding.
    static Binding to(T& storage)
    {
        return {[&storage] { return storage; }, [&storage](T value) { storage = std::move(value); }};
    }

    // A value that writes cannot change.
    static Binding constant(T value)
    {
        return {[value] { return value; }, [](T) {}};
    }

    explicit operator bool() const { return bool(get); }
};
