#pragma once

// OpenSSL's certificate store, named without its headers.
struct x509_store_st;

namespace varnel {

// Adds the roots the operating system trusts to a TLS store beyond those
// OpenSSL finds itself: on Windows the ROOT system store, which OpenSSL does
// not read; elsewhere nothing, the system's bundle being OpenSSL's default.
void addSystemTrustRoots(x509_store_st* store);

} // namespace varnel
