// Where the run loop hands the work over, and so where the engine depends on
// modules that depend on it in turn: the driver's run modes and boxes, the
// update (DONE in update mode) and the registration (REGISTER). The cycle is
// meant: the engine decides when, they do the work and report through the
// InstallState that the engine owns. script/CMakeLists.txt declares it; the
// host tests put recording fakes in these modules' place.
#pragma once

#include "driver/message.h"
#include "driver/run_mode.h"
#include "registration/registration.h"
#include "update/update.h"
