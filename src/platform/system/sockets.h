#pragma once

// Listening sockets, by intent. No Qt here.
#include <cstdint>

namespace quarvel::system {

// Makes `socket` (a descriptor, or a SOCKET on Windows, not bound yet) the
// only one that can listen on its port: binding a port another program
// listens on then fails, while one an earlier run left waiting for its last
// packets can be bound again at once.
void ListenAlone(std::intptr_t socket);

}  // namespace quarvel::system
