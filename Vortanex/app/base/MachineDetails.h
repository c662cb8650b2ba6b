#pragma once
// The facts that identify the installation to the servers: the device id sent
// with every order request and the machine-details record sent with the
// encryption-details request. Built once at start-up from the machine-details
// file "versionDetails.txt" of the program folder, which is written from the
// system's facts when it is missing and kept between runs.
#include "pf/machine_info.h"

#include <functional>
#include <string>

// Start-up (UI thread): reads the details file (writing it first when it is
// missing) and builds the device id and the machine details.
void PrintOSVersion();

// "VX_" + serial + "_" + manufacturer; empty before PrintOSVersion. Any thread.
std::string DeviceId();
// The '|'-separated machine-details record; empty before PrintOSVersion.
std::string MachineDetails();

// Where the facts for a missing details file come from (the system's by
// default); tests count or replace the collection. Empty restores the default.
void SetMachineFactsSource(std::function<pf::MachineFacts()> source);
