// Choice of the help document by language.
#include "ui/HelpFile.h"

#include <system_error>

#include "app/CDebugLog.h"
#include "app/Paths.h"

namespace {
constexpr const char* kHelpFile = "kestrix.pdf";
} // namespace

std::filesystem::path help_dir() {
    return get_resources_path() / "doc/kestrix";
}

std::filesystem::path help_file_for_locale(const std::filesystem::path& dir, const std::string& locale_name) {
    const auto underscore = locale_name.find('_');
    if (underscore != std::string::npos) {
        const std::string language = locale_name.substr(0, underscore);
        if (language != "en") {
            const auto localised = dir / ("kestrix." + language + ".pdf");
            std::error_code ec;
            if (std::filesystem::exists(localised, ec))
                return localised;
            if (g_Debug.IsLoggable(LOGLEVEL_WARNING))
                g_Debug.LogMsgFmt(LOGLEVEL_WARNING, kWindowLogTag, "help \"%s\" not found",
                                  localised.c_str());
        }
    }
    return dir / kHelpFile;
}
