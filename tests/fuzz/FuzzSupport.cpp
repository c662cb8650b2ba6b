#include "FuzzTarget.h"

#include "pf/log.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace fuzz {

std::map<std::string, TargetFunction>& targets()
{
    static std::map<std::string, TargetFunction> table;
    return table;
}

bool registerTarget(const char* name, TargetFunction function)
{
    targets()[name] = function;
    return true;
}

void prepare()
{
}

void fail(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzz
