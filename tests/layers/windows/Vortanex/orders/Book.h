#pragma once
// A record that names a record of the risk reports.
#include "positions/Risk.h"

#include <string>
