#pragma once
// The activity slot: the last heartbeat posted to the dashboard, kept in memory.
//
// It is the server's only shared state. One mutex guards it, held only while
// the slot is stored or copied, never while a reply is serialised.

#include <mutex>
#include <optional>
#include <string>

#include "serve/http.hpp"

namespace kestrel::serve {

class ActivityStore {
public:
    struct Entry {
        std::string body;           // the posted text exactly as received
        long long received_at = 0;  // server clock, whole Unix seconds
    };

    // Replaces the slot's content.
    void store(std::string body, long long received_at);

    // A copy of the content; nothing while no heartbeat has been stored.
    std::optional<Entry> snapshot() const;

private:
    mutable std::mutex m_mutex;
    std::optional<Entry> m_entry;
};

// The process-wide slot every server of this process shares.
ActivityStore& activity_store();

// POST /api/activity: stores a body that is valid JSON (200 {"ok":true}); any
// other body gets 400 {"error":"invalid json"} and leaves the slot unchanged.
Reply post_activity(const Request& request, ActivityStore& store, long long now);

// GET /api/activity: {} while empty; a stored object with `_age_seconds` and
// `_received_at` added, keys sorted; any other stored value as it was posted.
Reply get_activity(const Request& request, const ActivityStore& store, long long now);

}  // namespace kestrel::serve
