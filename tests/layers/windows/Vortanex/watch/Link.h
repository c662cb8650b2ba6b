#pragma once
#include "frame/Opener.h"
