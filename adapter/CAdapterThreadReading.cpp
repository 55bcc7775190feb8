// Key-reading mode of the idle adapter. Until the scanning state machine is in place the worker only keeps
// the receive buffer from growing while no command consumes it.
#include "adapter/CAdapterThread.h"

void CAdapterThread::CheckRead() {
    if (!m_pPort)
        return;
    m_pPort->Receive();
    m_pPort->GetInBuffer().clear();
}

void CAdapterThread::ProcessModeCom() {}

bool CAdapterThread::CheckValidKey() {
    return false;
}
