#include "platform/system/sockets.h"

#include <winsock2.h>

namespace quarvel::system {

void ListenAlone(std::intptr_t socket) {
  const BOOL yes = TRUE;
  ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&yes), sizeof yes);
}

}  // namespace quarvel::system
