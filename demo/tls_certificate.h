#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace quarvel::demo {

// A certificate and its key, held in memory only.
struct TlsIdentity {
  std::unique_ptr<X509, decltype(&X509_free)> certificate{nullptr, X509_free};
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{nullptr, EVP_PKEY_free};
  explicit operator bool() const { return certificate && key; }
};

// A fresh self-signed certificate for 127.0.0.1 and localhost; empty when
// OpenSSL fails.
TlsIdentity MakeSelfSignedIdentity();

// Writes a fresh self-signed certificate for 127.0.0.1 and its key as PEM
// files; false when OpenSSL fails.
bool MakeSelfSignedCertificate(const std::string& certPath, const std::string& keyPath);

}  // namespace quarvel::demo
