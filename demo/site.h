#pragma once

#include <httplib.h>

#include <cstddef>
#include <ctime>

namespace quarvel::demo {

// What one client may cost a demo server.
inline constexpr size_t kMaxRequestBody = 64 * 1024;  // bytes; a longer body gets 413
inline constexpr time_t kReadTimeoutSeconds = 3;      // waiting for the next bytes of a request
inline constexpr time_t kWriteTimeoutSeconds = 3;     // waiting for the client to take an answer
inline constexpr time_t kKeepAliveSeconds = 2;        // an idle connection is closed after this
inline constexpr size_t kMaxConnections = 128;        // served at once; later ones wait their turn

// Bounds what clients may hold on server: request bodies (every POST, PUT,
// PATCH and DELETE is answered here, 413 over the limit and 404 otherwise),
// the time-outs above, and a thread for each connection (up to
// kMaxConnections), so clients that send slowly hold only their own
// connection, not the others. Set before the server listens.
void LimitClients(httplib::Server& server);

// The independent lookup site: result pages, not-found pages, handset pictures.
void MountLookupSite(httplib::Server& server);

// The maker's warranty page: the serial form, result and rejection pages.
void MountWarrantySite(httplib::Server& server);

// The portal start page and the messaging service's badge and chat pages.
void MountPortal(httplib::Server& server);

}  // namespace quarvel::demo
