// Adds a certificate to the current user's Root store, so that WinINet's strict checks
// accept a server presenting it: for the end-to-end tests, which run it in their own
// Wine prefix only, never on a machine's store.
//
//   trust_certificate.exe <certificate.der>
//
// Adding a certificate that the store holds already changes nothing. Exits 0 when the
// store holds it.

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: trust_certificate <certificate.der>\n", stderr);
    return 2;
  }
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "trust_certificate: cannot open the certificate (error %lu)\n", GetLastError());
    return 2;
  }
  std::vector<BYTE> der(GetFileSize(file, nullptr));
  DWORD read = 0;
  const BOOL wasRead = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &read, nullptr);
  CloseHandle(file);
  if (!wasRead || read != der.size() ||
      !CertAddEncodedCertificateToSystemStoreA("Root", der.data(), static_cast<DWORD>(der.size()))) {
    std::fprintf(stderr, "trust_certificate: the certificate was not added (error %lu)\n", GetLastError());
    return 1;
  }
  return 0;
}
