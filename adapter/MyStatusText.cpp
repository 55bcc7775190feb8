// Texts of the adapter link's status codes.
#include "adapter/MyStatusText.h"

#include <glibmm/ustring.h>

#include "app/i18n.h"

std::string my_status_text(MyStatus status) {
    switch (status) {
    case MY_OK:
        return _("No error");
    case MY_ERR_FAILURE:
        return _("General failure");
    case MY_ERR_STOPPING:
        return _("The adapter link is stopping");
    case MY_ERR_CONNECT:
        return _("The adapter port failed while connecting");
    case MY_ERR_ACCESS_DENIED:
        return _("Access to the adapter port is denied");
    case MY_ERR_PORT_BUSY:
        return _("The adapter port is busy");
    case MY_ERR_NOT_FOUND:
        return _("The adapter port or host was not found");
    case MY_ERR_CANNOT_OPEN:
        return _("The adapter port cannot be opened");
    case MY_ERR_IO:
        return _("Connection with the adapter lost");
    case MY_ERR_TIMEOUT:
        return _("The adapter did not answer in time");
    case MY_ERR_UNEXPECTED_REPLY:
        return _("Unexpected reply from the adapter");
    case MY_ERR_ADAPTER_ERROR:
        return _("The adapter reported an error");
    case MY_ERR_NO_TEMIC:
        return _("No Temic tag on the adapter");
    case MY_ERR_TEMIC_WRITE:
        return _("The Temic tag has not been written");
    }
    return Glib::ustring::compose(_("Error %1"), static_cast<int>(status));
}
