// The simulator's entries in the stand-in reader library's world: one line per transport in the "devices"
// file, so that the program's device search finds the simulated adapter. Lines are removed again on
// destruction.
#pragma once
#include <string>
#include <vector>

namespace devsim {

class CDeviceRegistry {
public:
    explicit CDeviceRegistry(std::string path);
    CDeviceRegistry(const CDeviceRegistry&) = delete;
    CDeviceRegistry& operator=(const CDeviceRegistry&) = delete;
    ~CDeviceRegistry();

    // port_type 1 = serial (COM), 3 = IP converter in server mode.
    void add(int port_type, const std::string& port_name, int model, int serial, unsigned firmware);
    void remove(int port_type, const std::string& port_name);
    const std::string& path() const { return m_path; }

    static std::string format_line(int port_type, const std::string& port_name, int model, int serial,
                                   unsigned firmware);

private:
    void remove_line(std::string line); // by value: the caller may pass one of m_lines
    void rewrite_without(const std::string& line);

    std::string m_path;
    std::vector<std::string> m_lines; // ours, without the newline
};

} // namespace devsim
