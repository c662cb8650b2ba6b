#pragma once
// The broker's universe as the terminal's security master, kept apart from
// the Qt sources of the fixture.
#include <string>

namespace tb {
class Universe;
}

namespace ordertest {
void PublishBrokerMaster(const tb::Universe& universe);
void UnpublishMaster();
int FindSecurity(const std::string& exchange, const std::string& inst);
void SetQuote(int index, double bidPaise, double askPaise);
} // namespace ordertest
