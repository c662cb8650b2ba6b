#pragma once
// Where the risk reports live: the report arrays of a client entry
// (ClientInfo::risk), read and replaced on the UI thread only.
#include "server/RiskRecords.h"

struct ClientInfo;

// The entry's arrays, made empty on first use.
ClientRiskArrays& RiskArraysOf(ClientInfo& client);
// The active entry's arrays; without an active entry, an empty set that
// nothing keeps (a reader finds no record in it).
ClientRiskArrays& ActiveClientRiskArrays();
// Drops the arrays of every client entry (the risk window's close).
void FreeAllRiskArrays();
