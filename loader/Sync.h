// Waking the boot loader and synchronising with it, for both cables.
#pragma once

#include "loader/LoaderContext.h"

namespace tarvel {

// QAP-8: 0x00 every millisecond until 0x00 comes back (at most 26 sent),
// then 'Z' every millisecond until 'Z' comes back (at most 129 sent).
bool SyncLoader(LoaderContext& ctx);

// QAP-10: the wake-up frame every 10 ms until 0x00 comes back (at most 26),
// then the letter frame until a byte comes back, which must be 'Z'.
bool SyncLoaderFramed(LoaderContext& ctx);

// The QAP-8 cable resets the radio into its loader by the RTS line: DTR and
// RTS raised, RTS pulsed low for 5 ms after 40 ms, then 100 ms to start.
void PulseQap8LoaderEntry(LoaderContext& ctx);

// Some adapters need an RTS pulse before the QAP-10 cable listens: 5 ms high.
void PulseQap10Rts(LoaderContext& ctx);

// The QAP-10 cable's start packet, then the 200 ms the loader needs.
void SendQap10StartPacket(LoaderContext& ctx);

}  // namespace tarvel
