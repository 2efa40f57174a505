// A setting shown on both link pages: two elements of one name, item 0 on the uplink page and item 1 on
// the downlink page.
#pragma once

#include "form/element.h"

#include <array>
#include <string>

namespace varnika::form {

template <class T> class Pair {
public:
    template <class... Args>
    explicit Pair(const std::string& name, const Args&... args)
        : items_{T(ElementId(name, 0), args...), T(ElementId(name, 1), args...)} {}

    T& operator[](int item) { return items_.at(static_cast<std::size_t>(item)); }
    const T& operator[](int item) const { return items_.at(static_cast<std::size_t>(item)); }
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }

private:
    std::array<T, 2> items_;
};

} // namespace varnika::form
