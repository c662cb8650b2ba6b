#pragma once
// A peer that closes a socket or pipe must give the writer an error (EPIPE),
// not kill the process: called once at start-up, before any thread starts.
namespace pf {

void ignoreSigpipe();

} // namespace pf
