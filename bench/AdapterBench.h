// What the adapter benchmarks share: the real worker connected to the simulator's pseudo-terminal.
#pragma once

#include "adapter/CAdapterThread.h"
#include "sim/devsim/CWorld.h"

// Starts the worker on the world's pseudo-terminal; `wait_for(condition)` waits for its notifications.
template <class WaitFor>
bool connect_adapter(CAdapterThread& thread, devsim::CWorld& world, WaitFor wait_for) {
    thread.set_port_name(RDX_PORT_COM, world.pty_path(), CAdapterThread::kDesktopAdapterModel);
    thread.SetPortExist(true);
    thread.Start();
    return wait_for([&] { return thread.GetConnectStatus() == CONNECTION_CONNECTED; });
}
