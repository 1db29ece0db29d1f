#include "fakes/window_fake.h"

#include "platform/window.h"

namespace {

std::vector<ProgressEvent> g_events;

} // namespace

void window_fake_reset() {
    g_events.clear();
}

const std::vector<ProgressEvent>& window_fake_events() {
    return g_events;
}

int update_progress(double percentage) {
    g_events.push_back({ProgressEvent::UPDATE, percentage, 0});
    return 1;
}

int show_progress_window(int flag) {
    g_events.push_back({ProgressEvent::SHOW, 0.0, flag});
    return 1;
}
