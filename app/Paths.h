// Per-user folders, file-name validation and tolerant number parsing shared by the whole program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>

#include <glibmm/ustring.h>

// The system resources root, "/usr/share".
std::filesystem::path get_resources_path();

// The home folder as GLib reports it; throws std::runtime_error "Cannot get HOME path." when there is none.
std::filesystem::path get_user_home_dir();

// $XDG_CONFIG_HOME when it is set and not empty, otherwise the home folder joined with ".config".
std::filesystem::path get_user_data_dir();

// The application folder: the user data root joined with "kestrix".
std::filesystem::path get_app_dir();

// Creates the application folder `dir` (a single folder, no parents) unless something already exists at
// that path. On failure writes "Failed to create folder <quoted path>" and a newline to `err` and returns
// false.
bool create_app_folder(const std::filesystem::path& dir, std::ostream& err);

// Whether `name` may be the stem of a database file: not empty, at most 255 characters, not "." or "..",
// and none of \ / : * ? " < > |.
bool is_valid_filename(const Glib::ustring& name);

// strtoul/strtoull with the given base (0 = automatic prefix). Fails (false, `out` untouched) only when
// nothing was converted; trailing characters are ignored and there is no range check (the result is cut
// to the width of `out`).
bool try_str_to_uint(const char* text, uint32_t& out, int base = 10);
bool try_str_to_uint(const char* text, uint64_t& out, int base = 10);

inline bool try_str_to_uint(const std::string& text, uint32_t& out, int base = 10) {
    return try_str_to_uint(text.c_str(), out, base);
}
inline bool try_str_to_uint(const std::string& text, uint64_t& out, int base = 10) {
    return try_str_to_uint(text.c_str(), out, base);
}
