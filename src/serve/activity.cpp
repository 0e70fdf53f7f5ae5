#include "serve/activity.hpp"

#include <utility>

namespace kestrel::serve {

void ActivityStore::store(std::string body, long long received_at) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entry = Entry{std::move(body), received_at};
}

std::optional<ActivityStore::Entry> ActivityStore::snapshot() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entry;
}

ActivityStore& activity_store() {
    static ActivityStore store;
    return store;
}

Reply post_activity(const Request& request, ActivityStore& store, long long now) {
    if (!util::json::accept(request.body)) {
        return json_reply({{"error", "invalid json"}}, 400);
    }
    store.store(request.body, now);
    return json_reply({{"ok", true}});
}

Reply get_activity(const Request& /*request*/, const ActivityStore& store, long long now) {
    std::optional<ActivityStore::Entry> entry = store.snapshot();
    if (!entry) {
        return json_reply(util::json::object());
    }
    util::json value = util::json::parse(entry->body, nullptr, false);
    if (!value.is_object()) {
        return Reply{200, "application/json", entry->body, {}};
    }
    long long age = now - entry->received_at;
    value["_age_seconds"] = age > 0 ? age : 0;
    value["_received_at"] = entry->received_at;
    return json_reply(value);
}

}  // namespace kestrel::serve
