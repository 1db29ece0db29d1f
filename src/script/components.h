// Self-registering components: libraries that export DllRegisterServer and
// DllUnregisterServer.
#pragma once

// The direction of register_component.
enum { COMPONENT_UNREGISTER = 0, COMPONENT_REGISTER = 1 };

// Loads the library at `path`, calls DllRegisterServer (COMPONENT_REGISTER)
// or DllUnregisterServer, and unloads it. A negative result code is a failure.
// Every failure is logged. Returns 1 on success, 0 on failure.
int register_component(const char* path, int direction);
