// printf-style texts from translated formats, of any length, with the arguments checked by the compiler
// against the format (gettext keeps the check for translated formats).
#pragma once

#include <string>

#include <glib.h>

std::string format_text(const char* format, ...) G_GNUC_PRINTF(1, 2);
