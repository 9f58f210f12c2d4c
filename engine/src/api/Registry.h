// The handles of the graph's objects: units, connections, channels and
// channel groups, and the registry through which the graph (which knows no
// handles) gives and takes them.
#pragma once

#include "Graph.h"
#include "Handles.h"
#include "Objects.h"

namespace sonvel::engine {

using DspTable = HandleTable<core::Unit, HandleKind::Dsp>;
DspTable& Dsps();
using DspConnectionTable = HandleTable<core::Connection, HandleKind::DspConnection>;
DspConnectionTable& DspConnections();
using ChannelTable = HandleTable<core::Channel, HandleKind::Channel>;
ChannelTable& Channels();
using GroupTable = HandleTable<core::Group, HandleKind::ChannelGroup>;
GroupTable& Groups();

// The one registry every engine's graph uses.
core::Registry& TheRegistry();

}  // namespace sonvel::engine
