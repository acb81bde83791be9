// The version resource and the PE header of the built Kestrel.dll, read the way
// Windows Explorer and a loader read them.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// KESTREL_DLL holds the Unix path of the built plug-in; Wine maps / to drive Z:.
std::wstring BuiltDllPath() {
  const char* path = std::getenv("KESTREL_DLL");
  if (!path) return {};
  std::wstring windowsPath = path[0] == '/' ? L"Z:" : L"";
  for (const char* c = path; *c; ++c) windowsPath += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return windowsPath;
}

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring path = BuiltDllPath();
    ASSERT_FALSE(path.empty()) << "KESTREL_DLL is not set";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource, error " << GetLastError();
    m_data.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, m_data.data()));
  }

  std::wstring String(const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(m_data.data(), key.c_str(), &value, &length) || length == 0) return L"<none>";
    return std::wstring(static_cast<const wchar_t*>(value));
  }

  std::vector<unsigned char> m_data;
};

std::wstring Wide(const char* text) {
  return std::wstring(text, text + std::strlen(text));
}

TEST_F(VersionResource, FixedInfoCarriesTheProjectVersion) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(m_data.data(), L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
  const DWORD high = MAKELONG(KESTREL_VERSION_MINOR, KESTREL_VERSION_MAJOR);
  const DWORD low = MAKELONG(0, KESTREL_VERSION_PATCH);
  EXPECT_EQ(info->dwFileVersionMS, high);
  EXPECT_EQ(info->dwFileVersionLS, low);
  EXPECT_EQ(info->dwProductVersionMS, high);
  EXPECT_EQ(info->dwProductVersionLS, low);
  EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionResource, StringsNameTheProductTheVersionAndTheTarget) {
  EXPECT_EQ(String(L"FileVersion"), Wide(KESTREL_VERSION));
  EXPECT_EQ(String(L"ProductVersion"), Wide(KESTREL_VERSION));
  EXPECT_EQ(String(L"ProductName"), L"Kestrel");
  EXPECT_EQ(String(L"OriginalFilename"), L"Kestrel.dll");
  EXPECT_EQ(String(L"FileDescription"), L"Kestrel NSIS plug-in (" + Wide(KESTREL_TARGET_NAME) + L")");
}

// The header decides which installers can load the DLL; a zero time stamp keeps two
// builds of one commit byte for byte equal.
TEST(PeHeader, MachineFitsTheTargetAndNoTimeStamp) {
  const char* path = std::getenv("KESTREL_DLL");
  ASSERT_NE(path, nullptr);
  std::ifstream file(BuiltDllPath().c_str(), std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), sizeof(IMAGE_DOS_HEADER));
  IMAGE_DOS_HEADER dos;
  std::memcpy(&dos, bytes.data(), sizeof dos);
  ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
  ASSERT_GT(bytes.size(), dos.e_lfanew + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER));
  DWORD signature = 0;
  std::memcpy(&signature, bytes.data() + dos.e_lfanew, sizeof signature);
  ASSERT_EQ(signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
  IMAGE_FILE_HEADER header;
  std::memcpy(&header, bytes.data() + dos.e_lfanew + sizeof signature, sizeof header);
  const bool amd64 = std::strncmp(KESTREL_TARGET_NAME, "amd64-", 6) == 0;
  EXPECT_EQ(header.Machine, amd64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  EXPECT_NE(header.Characteristics & IMAGE_FILE_DLL, 0);
  EXPECT_EQ(header.TimeDateStamp, 0u);
}

}  // namespace
