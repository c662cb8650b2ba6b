#include "pf/shell.h"

namespace pf {

std::string_view showModeName(ShowMode mode)
{
    switch (mode) {
    case ShowMode::Normal: return "Normal";
    case ShowMode::Minimised: return "Minimised";
    case ShowMode::Default: return "Default";
    case ShowMode::Hidden: return "Hidden";
    }
    return "Unknown";
}

} // namespace pf
