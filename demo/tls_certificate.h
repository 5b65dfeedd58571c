#pragma once

#include <string>

namespace quarvel::demo {

// Writes a fresh self-signed certificate for 127.0.0.1 and its key as PEM
// files; false when OpenSSL fails.
bool MakeSelfSignedCertificate(const std::string& certPath, const std::string& keyPath);

}  // namespace quarvel::demo
