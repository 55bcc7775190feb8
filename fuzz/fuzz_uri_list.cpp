// Fuzzes the parsing of pasted file lists in both clipboard forms and the checks on the pasted files:
// whatever the text, every accepted file must land directly in the database folder under a name that the
// database list shows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "keys/KeyClipboard.h"

namespace {

const std::filesystem::path kDbDir = "/nonexistent/kestrix-fuzz/db";

void check_plan(const ClipboardFiles& files) {
    const DatabasePastePlan plan = plan_database_paste(files.uris, kDbDir);
    if (plan.accepted.size() + plan.refused.size() != files.uris.size())
        std::abort();
    for (const auto& t : plan.accepted) {
        const std::string name = t.target.filename().string();
        if (t.target.parent_path() != kDbDir || t.target != kDbDir / name || !is_database_file_name(name))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_plan(parse_uri_list(text));
    check_plan(parse_gnome_copied_files(text));
    return 0;
}
