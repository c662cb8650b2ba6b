#include "server/Ok.h"
#include "frame/CMainFrame.h"
