#include "form/signal.h"

#include <algorithm>

namespace varnika::form {

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        disconnect();
        list_ = std::move(other.list_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void Connection::disconnect() {
    if (auto list = list_.lock()) {
        std::erase_if(list->slots, [this](const auto& slot) { return slot.first == id_; });
    }
    list_.reset();
    id_ = 0;
}

Connection Signal::connect(std::function<void()> slot) const {
    const std::uint64_t id = list_->next_id++;
    list_->slots.emplace_back(id, std::move(slot));
    return Connection(list_, id);
}

void Signal::emit() const {
    // Listeners may subscribe or unsubscribe while they are being told: walk a snapshot of the ids and
    // call only those still subscribed at their turn.
    const auto list = list_;
    std::vector<std::uint64_t> ids;
    ids.reserve(list->slots.size());
    for (const auto& slot : list->slots) {
        ids.push_back(slot.first);
    }
    for (const std::uint64_t id : ids) {
        const auto it = std::find_if(list->slots.begin(), list->slots.end(),
                                     [id](const auto& slot) { return slot.first == id; });
        if (it != list->slots.end()) {
            const auto slot = it->second;
            slot();
        }
    }
}

} // namespace varnika::form
