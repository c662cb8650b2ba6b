#include "app/base/MachineDetails.h"

#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"

#include "pf/files.h"

#include <mutex>
#include <vector>

namespace machine_details_detail {
namespace {

std::mutex g_mutex;
std::string g_deviceId;       // guarded by g_mutex
std::string g_machineDetails; // guarded by g_mutex
std::function<pf::MachineFacts()> g_factsSource; // guarded by g_mutex

// The line of the details file from which on the lines are the serial number.
constexpr size_t kSerialLine = 19;
constexpr size_t kOsVersionLength = 9;

std::string trim(std::string_view text)
{
    const size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    const size_t e = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(b, e - b + 1));
}

// The value of a labelled line ("OS Name:     Debian"): what follows the
// label, without the padding.
std::string labelValue(std::string_view line)
{
    const size_t colon = line.find(':');
    return trim(colon == std::string_view::npos ? line : line.substr(colon + 1));
}

// A value never carries the record's separator.
std::string field(std::string text)
{
    for (char& c : text)
        if (c == '|')
            c = ' ';
    return text;
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

pf::MachineFacts collectFacts()
{
    std::function<pf::MachineFacts()> source;
    {
        std::lock_guard lock(g_mutex);
        source = g_factsSource;
    }
    return source ? source() : pf::MachineInfo::collect();
}

} // namespace
} // namespace machine_details_detail

void SetMachineFactsSource(std::function<pf::MachineFacts()> source)
{
    std::lock_guard lock(machine_details_detail::g_mutex);
    machine_details_detail::g_factsSource = std::move(source);
}

std::string DeviceId()
{
    std::lock_guard lock(machine_details_detail::g_mutex);
    return machine_details_detail::g_deviceId;
}

std::string MachineDetails()
{
    std::lock_guard lock(machine_details_detail::g_mutex);
    return machine_details_detail::g_machineDetails;
}

void PrintOSVersion()
{
    using machine_details_detail::field;
    try {
        WriteLog(0, "PrintOSVersion");
        const std::filesystem::path file = ProgramPaths().root() / "versionDetails.txt";
        std::optional<std::string> text = pf::files::readAll(file);
        if (!text) {
            // The system's facts stand in for the system-information commands.
            WriteLog(0, "check registry");
            if (!pf::MachineInfo::writeDetailsFile(file, machine_details_detail::collectFacts()))
                WriteLog(0, "Unable to write " + file.string());
            text = pf::files::readAll(file);
        }
        std::string osName, osVersion, productId, manufacturer, model, serial;
        if (text) {
            const std::vector<std::string> lines = machine_details_detail::splitLines(*text);
            for (size_t i = 0; i < lines.size(); ++i) {
                const std::string& line = lines[i];
                WriteLog(0, line);
                switch (i) {
                case 0: osName = machine_details_detail::labelValue(line); break;
                case 1: osVersion = machine_details_detail::labelValue(line).substr(0, machine_details_detail::kOsVersionLength); break;
                case 2: productId = machine_details_detail::labelValue(line); break;
                case 3: manufacturer = machine_details_detail::labelValue(line); break;
                case 4: model = machine_details_detail::labelValue(line); break;
                default:
                    if (i >= machine_details_detail::kSerialLine)
                        serial += line;
                    break;
                }
            }
        }
        const std::string deviceId = "VX_" + machine_details_detail::trim(serial) + "_" + manufacturer;
        std::string record = field(osName) + "|" + field(deviceId) + "|" + field(productId) + "|"
            + field(manufacturer) + "|" + field(model) + "|-|-|";
        if (text) {
            const std::string agent = std::string("Vortanex/") + kBuildText + "(" + manufacturer + " " + model + " "
                + osVersion + ")";
            WriteLog(0, agent);
            record += field(osVersion) + "|Windows|-|0|-|-|" + field(agent);
        } else {
            WriteLog(0, "Space not available");
            record += field(osVersion) + "||-|0|-|-|";
        }
        WriteLog(0, "Device Id :" + deviceId);
        WriteLog(0, "Machine Details :" + record);
        std::lock_guard lock(machine_details_detail::g_mutex);
        machine_details_detail::g_deviceId = deviceId;
        machine_details_detail::g_machineDetails = record;
    } catch (...) {
        WriteLog(0, "Exception in PrintOSVersion");
    }
}
