#include "app/LogWriter.h"

void WriteLog(int, std::string_view) {}
