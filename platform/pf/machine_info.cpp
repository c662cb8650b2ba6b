#include "pf/machine_info.h"

#include "pf/files.h"

#include <cctype>
#include <pwd.h>
#include <string_view>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace pf {
namespace machine_info_detail {

std::string trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

// The first line of a small system file, trimmed; empty when unreadable.
std::string firstLine(const std::filesystem::path& path)
{
    const auto text = files::readAll(path);
    if (!text)
        return {};
    return trimmed(std::string_view(*text).substr(0, text->find('\n')));
}

// A value of os-release: KEY=value, KEY="value" or KEY='value'.
std::string osReleaseValue(const std::string& text, std::string_view key)
{
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=')
            continue;
        std::string_view value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        std::string out;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size())
                ++i;
            out += value[i];
        }
        return trimmed(out);
    }
    return {};
}

// Lines of the file may only hold one line each.
std::string oneLine(std::string_view value)
{
    std::string out;
    for (char c : value)
        out += (c == '\n' || c == '\r') ? ' ' : c;
    return out;
}

} // namespace machine_info_detail

MachineFacts MachineInfo::collect(const std::filesystem::path& fsRoot)
{
    MachineFacts facts;
    struct utsname u;
    if (::uname(&u) == 0) {
        facts.osName = u.sysname;
        facts.osVersion = u.release;
        facts.systemType = u.machine;
    }
    if (const auto release = files::readAll(fsRoot / "etc/os-release")) {
        std::string name = machine_info_detail::osReleaseValue(*release, "PRETTY_NAME");
        if (name.empty())
            name = machine_info_detail::osReleaseValue(*release, "NAME");
        if (!name.empty())
            facts.osName = name;
    }
    const std::filesystem::path dmi = fsRoot / "sys/class/dmi/id";
    facts.manufacturer = machine_info_detail::firstLine(dmi / "sys_vendor");
    facts.model = machine_info_detail::firstLine(dmi / "product_name");
    facts.productId = machine_info_detail::firstLine(fsRoot / "etc/machine-id");
    // The hardware serial is readable by root only on most systems.
    facts.serial = machine_info_detail::firstLine(dmi / "product_serial");
    if (facts.serial.empty())
        facts.serial = facts.productId;

    std::vector<char> buf(16384);
    struct passwd pw;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found)
        facts.userName = found->pw_name;

    const unsigned cpus = std::thread::hardware_concurrency();
    facts.cpus = cpus > 0 ? static_cast<int>(cpus) : 1;
    return facts;
}

std::string MachineInfo::detailsText(const MachineFacts& facts)
{
    const auto labelled = [](std::string_view label, std::string_view value) {
        std::string line(label);
        line.resize(27, ' ');
        return line + machine_info_detail::oneLine(value) + '\n';
    };
    std::string text;
    text += labelled("OS Name:", facts.osName);
    text += labelled("OS Version:", facts.osVersion);
    text += labelled("Product ID:", facts.productId);
    text += labelled("System Manufacturer:", facts.manufacturer);
    text += labelled("System Model:", facts.model);
    text += labelled("System Type:", facts.systemType);
    // Blank lines up to the serial-number block.
    for (int line = 7; line < 19; ++line)
        text += '\n';
    text += "SerialNumber\n";
    text += machine_info_detail::oneLine(facts.serial) + '\n';
    return text;
}

bool MachineInfo::writeDetailsFile(const std::filesystem::path& path, const MachineFacts& facts)
{
    return files::writeAtomic(path, detailsText(facts));
}

} // namespace pf
