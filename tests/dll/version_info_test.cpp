// The version information of qelmoset.dll, read back as Explorer and
// installers read it: GetFileVersionInfoW on the DLL beside this program,
// then VerQueryValueW for the fixed record and for the strings of the
// language that the translation table names.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::filesystem::path DllBesideProgram() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path() / L"qelmoset.dll";
}

class VersionInfo : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring dll = DllBesideProgram().wstring();
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), nullptr);
    ASSERT_NE(size, 0u) << "no version information in qelmoset.dll";
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, data_.data()));
  }

  // The value at subBlock, or nullptr when there is none.
  const void* Query(const std::wstring& subBlock, UINT* length) {
    void* value = nullptr;
    if (!VerQueryValueW(data_.data(), subBlock.c_str(), &value, length)) return nullptr;
    return value;
  }

  // A string of the language that the translation table names first.
  std::wstring String(const wchar_t* name) {
    UINT length = 0;
    const auto* translation = static_cast<const WORD*>(Query(L"\\VarFileInfo\\Translation", &length));
    if (translation == nullptr || length < 2 * sizeof(WORD)) return L"(no translation table)";
    wchar_t block[64];
    std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
    const auto* value = static_cast<const wchar_t*>(Query(block, &length));
    return value == nullptr ? L"(missing)" : std::wstring(value);
  }

 private:
  std::vector<BYTE> data_;
};

TEST_F(VersionInfo, FixedRecordHoldsTheProjectVersionForFileAndProduct) {
  UINT length = 0;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(Query(L"\\", &length));
  ASSERT_NE(fixed, nullptr);
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const DWORD versionMs = (QEL_VERSION_MAJOR << 16) | QEL_VERSION_MINOR;
  const DWORD versionLs = QEL_VERSION_PATCH << 16;
  EXPECT_EQ(fixed->dwFileVersionMS, versionMs);
  EXPECT_EQ(fixed->dwFileVersionLS, versionLs);
  EXPECT_EQ(fixed->dwProductVersionMS, versionMs);
  EXPECT_EQ(fixed->dwProductVersionLS, versionLs);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
}

TEST_F(VersionInfo, StringsNameTheFileAndItsVersion) {
  struct Expected {
    const wchar_t* name;
    std::wstring value;
  };
  const Expected strings[] = {
      {L"OriginalFilename", L"qelmoset.dll"},
      {L"FileVersion", QEL_VERSION_TEXT},
      {L"ProductVersion", QEL_VERSION_TEXT},
      {L"FileDescription", L"Handset software update library"},
  };
  for (const Expected& expected : strings) {
    EXPECT_EQ(String(expected.name), expected.value) << "string " << testing::PrintToString(std::wstring(expected.name));
  }
}

}  // namespace
