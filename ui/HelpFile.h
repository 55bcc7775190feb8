// Which help document to open: the translation for the user's language when it is installed, else the
// English "kestrix.pdf".
#pragma once

#include <filesystem>
#include <string>

// The help folder: the resources path joined with "doc/kestrix".
std::filesystem::path help_dir();

// The help file in `dir` for a locale name such as "de_DE.UTF-8": "kestrix.<language>.pdf" when the name has
// a language part before "_" other than "en" and that file exists, else "kestrix.pdf". A missing
// translation is logged.
std::filesystem::path help_file_for_locale(const std::filesystem::path& dir, const std::string& locale_name);
