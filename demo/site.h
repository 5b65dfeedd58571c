#pragma once

#include <httplib.h>

namespace quarvel::demo {

// The independent lookup site: result pages, not-found pages, handset pictures.
void MountLookupSite(httplib::Server& server);

// The maker's warranty page: the serial form, result and rejection pages.
void MountWarrantySite(httplib::Server& server);

// The portal start page and the messaging service's badge and chat pages.
void MountPortal(httplib::Server& server);

}  // namespace quarvel::demo
