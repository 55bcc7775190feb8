// Replacing a file's content so that a crash or a failed write never leaves it half written.
#pragma once

#include <filesystem>
#include <string_view>

// Writes content into "<path>.tmp" in the same folder, flushes it to the disk and renames it over path in
// one step, then flushes the folder. On failure the temporary file is removed, an existing file at path is
// left as it was, and std::runtime_error "Failed to write file \"%s\": %s" (translated) is thrown.
void write_file_durably(const std::filesystem::path& path, std::string_view content);

// Appended to a file's path to name the temporary file that is renamed over it.
inline constexpr char kTempSuffix[] = ".tmp";

// Flushes the folder of file, which makes a finished rename durable. A folder that cannot be opened or
// flushed only loses that guarantee: nothing is reported.
void sync_folder(const std::filesystem::path& file);
