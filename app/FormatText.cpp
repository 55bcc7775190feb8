// printf-style texts of any length.
#include "app/FormatText.h"

#include <cstdarg>

std::string format_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = g_strdup_vprintf(format, args);
    va_end(args);
    std::string result(text != nullptr ? text : "");
    g_free(text);
    return result;
}
