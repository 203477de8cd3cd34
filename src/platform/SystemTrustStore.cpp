#include "platform/SystemTrustStore.h"

// Before OpenSSL, whose headers undo the names wincrypt.h claims (X509_NAME and others).
#ifdef _WIN32
#include <windows.h>
// wincrypt.h needs windows.h before it.
#include <wincrypt.h>
#endif

#include <openssl/x509.h>

namespace varnel {

void addSystemTrustRoots(x509_store_st* store)
{
#ifdef _WIN32
    HCERTSTORE system = CertOpenSystemStoreW(0, L"ROOT");
    if (system == nullptr)
        return;
    for (PCCERT_CONTEXT cert = CertEnumCertificatesInStore(system, nullptr); cert != nullptr;
         cert = CertEnumCertificatesInStore(system, cert)) {
        const unsigned char* der = cert->pbCertEncoded;
        X509* x509 = d2i_X509(nullptr, &der, static_cast<long>(cert->cbCertEncoded));
        if (x509 == nullptr)
            continue;
        X509_STORE_add_cert(store, x509); // a duplicate of a root already there is no harm
        X509_free(x509);
    }
    CertCloseStore(system, 0);
#else
    (void)store;
#endif
}

} // namespace varnel
