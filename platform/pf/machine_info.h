#pragma once
// Facts that identify the installation to the servers (device id, machine
// details), gathered from the system instead of running system commands.
#include <filesystem>
#include <string>

namespace pf {

struct MachineFacts {
    std::string osName;       // e.g. "Debian GNU/Linux 12 (bookworm)"
    std::string osVersion;    // kernel release
    std::string systemType;   // machine architecture, e.g. "x86_64"
    std::string manufacturer; // empty when unknown
    std::string model;
    std::string serial;       // hardware serial, else the machine id
    std::string productId;    // the machine id
    std::string userName;
    int cpus = 1;
};

class MachineInfo {
public:
    // Reads uname, <fsRoot>/etc/os-release, <fsRoot>/sys/class/dmi/id and
    // <fsRoot>/etc/machine-id; a missing or unreadable file leaves its facts
    // empty. fsRoot exists for tests.
    static MachineFacts collect(const std::filesystem::path& fsRoot = "/");

    // Writes the machine-details file ("versionDetails.txt") in the layout
    // the details reader expects: lines 1-6 "OS Name:", "OS Version:",
    // "Product ID:", "System Manufacturer:", "System Model:", "System Type:",
    // each label padded to 27 columns and followed by its value; then the
    // serial-number block whose header "SerialNumber" is line 19 and whose
    // value is line 20, the line the reader takes the serial from. Atomic
    // replace; false when it cannot be written.
    static bool writeDetailsFile(const std::filesystem::path& path, const MachineFacts& facts);
    static std::string detailsText(const MachineFacts& facts);
};

} // namespace pf
