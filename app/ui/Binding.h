#pragma once

#include <functional>
#include <utility>

// A two-way binding to a value owned elsewhere: the owner keeps the value, the holder reads and writes it through
// the binding. A default binding reads a default value and drops writes.
template <class T>
class Binding {
public:
    Binding() = default;
    Binding(std::function<T()> get, std::function<void(const T&)> set) : get_(std::move(get)), set_(std::move(set)) {}

    T get() const { return get_ ? get_() : T{}; }
    void set(const T& value) const {
        if (set_) set_(value);
    }

private:
    std::function<T()> get_;
    std::function<void(const T&)> set_;
};
