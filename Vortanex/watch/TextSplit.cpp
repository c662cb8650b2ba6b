#include "watch/TextSplit.h"

int SplitString(std::string_view, char, std::vector<std::string>& out)
{
    return static_cast<int>(out.size());
}
