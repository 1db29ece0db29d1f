// OLE and COM for the components that the install script unregisters.
#pragma once

// Starts COM, then OLE, on this thread; logs the failing call's result and
// returns 0 when either does not answer S_OK.
int ole_start();

// Stops OLE, then COM. Returns 1.
int ole_stop();
