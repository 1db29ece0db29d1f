#include "fakes/script_fakes.h"

#include "platform/window.h"

std::string& window_fake_calls() {
    static std::string calls;
    return calls;
}

int update_progress(double percentage) {
    window_fake_calls() += std::to_string(percentage) + "\n";
    return 1;
}

int show_progress_window(int flag) {
    window_fake_calls() += "show " + std::to_string(flag) + "\n";
    return 1;
}
