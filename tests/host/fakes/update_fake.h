// Recording stand-in for update/update.h's driver: the host build has no
// network or dialogs, so each update run is only remembered.
#pragma once

#include <vector>

struct InstallState;

struct UpdateRunCall {
    void* owner_window;
    InstallState* state;
};

std::vector<UpdateRunCall>& update_fake_calls();
