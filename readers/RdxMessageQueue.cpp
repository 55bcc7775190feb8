// Reading a search queue only when the library has put something in it.
#include "readers/RdxMessageQueue.h"

namespace rdx {

rdx_status take_search_messages(rdx_handle search, CMessageFlag& flag, bool& list_changed) {
    list_changed = false;
    if (!flag.take())
        return RDX_OK;
    for (;;) {
        uint32_t msg = 0;
        const void* data = nullptr;
        int32_t found = 0;
        const rdx_status status = rdx_search_get_message(search, &msg, &data, &found);
        if (status != RDX_OK) {
            flag.raise();
            return status;
        }
        if (found == 0)
            return RDX_OK;
        list_changed = list_changed || msg == RDX_MSG_SEARCH_LIST;
    }
}

} // namespace rdx
