#include "platform/system/sockets.h"

#include <sys/socket.h>

namespace quarvel::system {

// SO_REUSEADDR on Linux lets no two sockets listen on one address (unlike
// SO_REUSEPORT, which shares the port).
void ListenAlone(std::intptr_t socket) {
  const int yes = 1;
  ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

}  // namespace quarvel::system
