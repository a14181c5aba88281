// Trusts a certificate authority in the Wine prefix, or stops trusting it:
// adds a DER certificate to the local machine's Root store, removes it, or
// tells whether it is there.
//
//   root_store.exe add|remove|has FILE.der
//
// Prints one line saying what it did; exits with 0 when the store holds
// the certificate after "add" or "has" and lacks it after "remove", else 1
// (2 for a bad command line or an unreadable file).
#include <windows.h>

#include <wincrypt.h>

#include <stdio.h>
#include <string.h>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// A certificate is far smaller; a bigger file is not one.
constexpr DWORD kMaxCertificate = 64 * 1024;

// The Root store as the system's chain engine reads it.
HCERTSTORE OpenRoot() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
}

// Its registry part, which holds what was added. Removal goes there
// directly: Wine's system store is a collection, and a certificate deleted
// through it keeps the collection referenced, so that even a forced close
// never writes the deletion back.
HCERTSTORE OpenRootRegistry() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
}

// Wine writes a change to the store back only when the store is really
// closed, which a context still held elsewhere would delay: force it.
void CloseRoot(HCERTSTORE store) { CertCloseStore(store, CERT_CLOSE_STORE_FORCE_FLAG); }

// The store's copy of `certificate`, or nullptr.
PCCERT_CONTEXT Find(HCERTSTORE store, PCCERT_CONTEXT certificate) {
  return CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_EXISTING, certificate, nullptr);
}

bool Has(PCCERT_CONTEXT certificate) {
  HCERTSTORE store = OpenRoot();
  if (!store) return false;
  PCCERT_CONTEXT found = Find(store, certificate);
  if (found) CertFreeCertificateContext(found);
  CloseRoot(store);
  return found != nullptr;
}

bool Add(const BYTE* data, DWORD size) {
  HCERTSTORE store = OpenRoot();
  if (!store) {
    printf("cannot open the Root store: %lu\n", GetLastError());
    return false;
  }
  BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, data, size,
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (!added) printf("cannot add: %lu\n", GetLastError());
  CloseRoot(store);
  return added != FALSE;
}

bool Remove(PCCERT_CONTEXT certificate) {
  HCERTSTORE store = OpenRootRegistry();
  if (!store) {
    printf("cannot open the Root store: %lu\n", GetLastError());
    return false;
  }
  bool removed = true;
  // Every copy, should it have been added more than once.
  while (PCCERT_CONTEXT found = Find(store, certificate)) {
    // The deletion frees the context it is given, whatever its result.
    if (!CertDeleteCertificateFromStore(found)) {
      printf("cannot remove: %lu\n", GetLastError());
      removed = false;
      break;
    }
  }
  CloseRoot(store);
  return removed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    printf("usage: root_store.exe add|remove|has FILE.der\n");
    return 2;
  }
  const char* command = argv[1];
  static BYTE data[kMaxCertificate];
  DWORD size = 0;
  HANDLE file = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE || !ReadFile(file, data, sizeof data, &size, nullptr) || size == sizeof data) {
    printf("cannot read %s\n", argv[2]);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 2;
  }
  CloseHandle(file);
  PCCERT_CONTEXT certificate = CertCreateCertificateContext(X509_ASN_ENCODING, data, size);
  if (!certificate) {
    printf("not a DER certificate: %s\n", argv[2]);
    return 2;
  }
  int code = 2;
  if (strcmp(command, "add") == 0) {
    bool done = Add(data, size) && Has(certificate);
    printf(done ? "added\n" : "not added\n");
    code = done ? 0 : 1;
  } else if (strcmp(command, "remove") == 0) {
    bool done = Remove(certificate) && !Has(certificate);
    printf(done ? "removed\n" : "still there\n");
    code = done ? 0 : 1;
  } else if (strcmp(command, "has") == 0) {
    bool there = Has(certificate);
    printf(there ? "there\n" : "not there\n");
    code = there ? 0 : 1;
  } else {
    printf("unknown command %s\n", command);
  }
  CertFreeCertificateContext(certificate);
  return code;
}
