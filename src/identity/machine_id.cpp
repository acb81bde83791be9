#include "identity/machine_id.h"

#include <windows.h>
#include <wincrypt.h>

#include "common/unique_handle.h"

namespace {

constexpr std::size_t kIdBytes = 16;

BOOL WINAPI CloseRegistryKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
using UniqueRegistryKey = UniqueResource<HKEY, CloseRegistryKey>;

// HKLM\SOFTWARE\Microsoft\Cryptography lives in the 64-bit view only: a 32-bit process asks
// for that view, or it finds nothing under WOW6432Node.
std::string MachineGuid() {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS) {
    return std::string();
  }
  const UniqueRegistryKey key(opened);
  char guid[64] = {};
  DWORD size = sizeof guid;
  if (RegGetValueA(key.get(), nullptr, "MachineGuid", RRF_RT_REG_SZ, nullptr, guid, &size) != ERROR_SUCCESS) {
    return std::string();
  }
  return std::string(guid);
}

// CryptoAPI's SHA-256, from ADVAPI32 which the plug-in imports already.
class Sha256 {
 public:
  Sha256() {
    if (CryptAcquireContextA(&m_provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
      CryptCreateHash(m_provider, CALG_SHA_256, 0, 0, &m_hash);
    }
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  ~Sha256() {
    if (m_hash) CryptDestroyHash(m_hash);
    if (m_provider) CryptReleaseContext(m_provider, 0);
  }

  bool Add(std::string_view bytes) {
    return m_hash && CryptHashData(m_hash, reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size()), 0);
  }

  bool Finish(unsigned char (&digest)[32]) {
    DWORD size = sizeof digest;
    return m_hash && CryptGetHashParam(m_hash, HP_HASHVAL, digest, &size, 0) && size == sizeof digest;
  }

 private:
  HCRYPTPROV m_provider = 0;
  HCRYPTHASH m_hash = 0;
};

// The digest's first 16 bytes in lower-case hexadecimal.
std::string MachineIdText(const unsigned char (&digest)[32]) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < kIdBytes; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

}  // namespace

std::string MachineIdFor(std::string_view salt) {
  const std::string guid = MachineGuid();
  if (salt.empty() || guid.empty()) return std::string();
  Sha256 hash;
  unsigned char digest[32];
  if (!hash.Add(salt) || !hash.Add(guid) || !hash.Finish(digest)) return std::string();
  return MachineIdText(digest);
}
