// Reads a DBF file with an independent reader (Debian's python3-dbfread, run by the system Python) and
// returns its records as lines of tab-separated field values, as Python prints them.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace dbftest {

// The system interpreter: the first python3 on PATH may be one without Debian's packages.
inline constexpr char kSystemPython[] = "/usr/bin/python3";

inline bool dbfread_available() {
    const std::string cmd = std::string(kSystemPython) + " -c 'import dbfread' 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
}

// Each record as one line: the values of its fields joined by tabs (None for an unknown value). The
// encoding is given for files whose language byte dbfread does not map to the code page we use.
inline std::vector<std::string> dbfread_records(const std::filesystem::path& file,
                                                const std::string& encoding = "") {
    const std::filesystem::path script = file.parent_path() / "read_dbf.py";
    std::ofstream(script) << "import sys, dbfread\n"
                             "kw = {'encoding': sys.argv[2]} if len(sys.argv) > 2 and sys.argv[2] else {}\n"
                             "t = dbfread.DBF(sys.argv[1], char_decode_errors='strict', **kw)\n"
                             "sys.stdout.reconfigure(encoding='utf-8')\n"
                             "for r in t:\n"
                             "    print('\\t'.join(str(v) for v in r.values()))\n";
    const std::string cmd =
        std::string(kSystemPython) + " '" + script.string() + "' '" + file.string() + "' '" + encoding + "'";
    std::vector<std::string> lines;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe)
        return lines;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    if (pclose(pipe) != 0)
        lines.push_back("<dbfread failed>");
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace dbftest
