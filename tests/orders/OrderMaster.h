#pragma once
// The broker's universe as the terminal's security master, kept apart from
// the Qt sources of the fixture.
#include <functional>
#include <string>

namespace tb {
class Universe;
struct Security;
} // namespace tb

namespace ordertest {
void PublishBrokerMaster(const tb::Universe& universe);
// The same master without the securities `drop` answers true for, as a
// reload of the master that lost or moved rows publishes it.
void PublishBrokerMasterWithout(const tb::Universe& universe, const std::function<bool(const tb::Security&)>& drop);
void UnpublishMaster();
int FindSecurity(const std::string& exchange, const std::string& inst);
void SetQuote(int index, double bidPaise, double askPaise);
} // namespace ordertest
