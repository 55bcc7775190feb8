// Faults of the stand-in reader library that the world arms on a reader (DIR/faults/<port>): each counts off
// the operations of its kind and makes one of them fail, then is gone.
#include "CRdxLibrary.h"

#include <algorithm>

namespace rdxsim {

std::optional<uint32_t> CRdxLibrary::fault_fires(const CReaderHandle& r, const std::string& kind,
                                                 uint32_t units) {
    if (!m_world || units == 0)
        return std::nullopt;
    try {
        auto faults = m_world->load_faults(r.port_name);
        auto it = std::find_if(faults.begin(), faults.end(),
                               [&](const rdxworld::reader_fault& f) { return f.kind == kind; });
        if (it == faults.end())
            return std::nullopt;
        std::optional<uint32_t> fires;
        if (it->after < units) {
            fires = it->after;
            faults.erase(it);
        } else {
            it->after -= units;
        }
        m_world->save_faults(r.port_name, faults);
        if (fires)
            log(2, r.port_name + ": fault " + kind);
        return fires;
    } catch (const std::exception& e) {
        log(1, e.what());
        return std::nullopt;
    }
}

bool CRdxLibrary::device_lost_now(CReaderHandle& r) {
    if (!fault_fires(r, "lose-device", 1))
        return false;
    r.device_lost = true;
    set_status(r, RDX_DISCONNECTED);
    return true;
}

} // namespace rdxsim
