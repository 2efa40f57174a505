// A change notification with any number of listeners. Listeners are held by a shared slot list, so a
// Connection can outlive its Signal (and the reverse) safely; a listener may connect or disconnect
// listeners while being notified.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace varnika::form {

namespace detail {
struct SlotList {
    std::vector<std::pair<std::uint64_t, std::function<void()>>> slots;
    std::uint64_t next_id = 1;
};
} // namespace detail

// Ends its listener's subscription when destroyed (or on disconnect()).
class Connection {
public:
    Connection() = default;
    Connection(std::weak_ptr<detail::SlotList> list, std::uint64_t id) : list_(std::move(list)), id_(id) {}
    Connection(Connection&& other) noexcept
        : list_(std::move(other.list_)), id_(std::exchange(other.id_, 0)) {}
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { disconnect(); }

    void disconnect();

private:
    std::weak_ptr<detail::SlotList> list_;
    std::uint64_t id_ = 0;
};

class Signal {
public:
    [[nodiscard]] Connection connect(std::function<void()> slot) const;
    void emit() const;
    std::size_t listener_count() const { return list_->slots.size(); }

private:
    std::shared_ptr<detail::SlotList> list_ = std::make_shared<detail::SlotList>();
};

} // namespace varnika::form
