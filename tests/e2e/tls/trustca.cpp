// Adds a certificate (a PEM file) to the current user's Root store of the Wine prefix it runs in:
// the end-to-end tests' own CA, trusted there and nowhere else. Wine adds it without asking;
// Windows would ask the user first, and the tests never run there.
//   trustca.exe CA.pem
#include <windows.h>
// windows.h first
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trustca CA.pem\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  if (pem.empty() ||
      !CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    std::fprintf(stderr, "trustca: %s is no PEM certificate\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
  PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
  HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
  const bool added =
      cert && root && CertAddCertificateContextToStore(root, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (!added) std::fprintf(stderr, "trustca: not added (error 0x%lx)\n", GetLastError());
  if (cert) CertFreeCertificateContext(cert);
  if (root) CertCloseStore(root, 0);
  return added ? 0 : 1;
}
