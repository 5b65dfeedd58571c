#include "tls_certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace quarvel::demo {

TlsIdentity MakeSelfSignedIdentity() {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(2048), EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  if (!key || !cert) return {};
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 60L * 60 * 24 * 365);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  if (X509_EXTENSION* ext =
          X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost")) {
    X509_add_ext(cert.get(), ext, -1);
    X509_EXTENSION_free(ext);
  }
  if (!X509_sign(cert.get(), key.get(), EVP_sha256())) return {};
  TlsIdentity identity;
  identity.certificate = std::move(cert);
  identity.key = std::move(key);
  return identity;
}

bool MakeSelfSignedCertificate(const std::string& certPath, const std::string& keyPath) {
  const TlsIdentity identity = MakeSelfSignedIdentity();
  if (!identity) return false;
  X509* const cert = identity.certificate.get();
  EVP_PKEY* const key = identity.key.get();

  FILE* certFile = std::fopen(certPath.c_str(), "wb");
  FILE* keyFile = std::fopen(keyPath.c_str(), "wb");
  bool ok = certFile && keyFile && PEM_write_X509(certFile, cert) &&
            PEM_write_PrivateKey(keyFile, key, nullptr, nullptr, 0, nullptr, nullptr);
  if (certFile) ok = std::fclose(certFile) == 0 && ok;
  if (keyFile) ok = std::fclose(keyFile) == 0 && ok;
  return ok;
}

}  // namespace quarvel::demo
