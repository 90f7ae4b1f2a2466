// Which serial ports can be offered for a choice: the availability test behind the port
// selection dialog (serial/widgets/ComSelectForm.h).
#pragma once

// Test a port by opening it through a dispatcher, with the very checks the port component's
// open makes, rather than with a plain open of the device. Either way no worker thread is
// started: the probe opens and closes the device only.
extern bool UseDispatcherForAvail;
// A port that exists but is held by another program (or another port object of this one)
// counts as available.
extern bool ShowPortsInUse;

// True when port number (COMn, mapped by ComPortDevice) opens now, or is in use while
// ShowPortsInUse is set. Number 0, and a number with no device, give false.
bool IsPortAvailable(int number);
// The same, and inUse tells whether the open was refused as "access denied".
bool IsPortAvailable(int number, bool& inUse);
// True when the port exists but another opener holds it, whatever ShowPortsInUse says.
bool IsPortInUse(int number);
