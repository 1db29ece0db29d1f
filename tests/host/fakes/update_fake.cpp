#include "fakes/update_fake.h"

#include "update/update.h"

std::vector<UpdateRunCall>& update_fake_calls() {
    static std::vector<UpdateRunCall> calls;
    return calls;
}

int update_run(void* owner_window, InstallState* state) {
    update_fake_calls().push_back(UpdateRunCall{owner_window, state});
    return 1;
}
