#pragma once
// No Qt of its own, but a window inside.
#include "watch/View.h"
