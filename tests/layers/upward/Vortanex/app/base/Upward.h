#include "app/base/Ok.h"
#include "watch/WatchCommands.h"
