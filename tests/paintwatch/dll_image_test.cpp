// Both builds of the hook library, read as files: the 32-bit one cannot run
// here, so what the loader and the linker promise is checked in the image.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

class PeImage {
public:
  explicit PeImage(const std::wstring &path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  bool loaded() const { return bytes_.size() > sizeof(IMAGE_DOS_HEADER); }
  size_t fileSize() const { return bytes_.size(); }

  const IMAGE_FILE_HEADER &fileHeader() const {
    return *at<IMAGE_FILE_HEADER>(ntOffset() + sizeof(DWORD));
  }

  bool is64() const { return optionalMagic() == IMAGE_NT_OPTIONAL_HDR64_MAGIC; }

  IMAGE_DATA_DIRECTORY directory(int index) const {
    const size_t optional = ntOffset() + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    if (is64()) {
      return at<IMAGE_OPTIONAL_HEADER64>(optional)->DataDirectory[index];
    }
    return at<IMAGE_OPTIONAL_HEADER32>(optional)->DataDirectory[index];
  }

  std::vector<IMAGE_SECTION_HEADER> sections() const {
    const IMAGE_FILE_HEADER &header = fileHeader();
    const size_t first =
        ntOffset() + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + header.SizeOfOptionalHeader;
    std::vector<IMAGE_SECTION_HEADER> result;
    for (int i = 0; i < header.NumberOfSections; ++i) {
      result.push_back(*at<IMAGE_SECTION_HEADER>(first + i * sizeof(IMAGE_SECTION_HEADER)));
    }
    return result;
  }

  template <typename T>
  const T *atRva(DWORD rva) const {
    for (const IMAGE_SECTION_HEADER &section : sections()) {
      if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
        return at<T>(rva - section.VirtualAddress + section.PointerToRawData);
      }
    }
    throw std::runtime_error("address outside every section");
  }

  std::vector<std::string> exportNames() const {
    const auto *exports = atRva<IMAGE_EXPORT_DIRECTORY>(directory(0).VirtualAddress);
    const auto *names = atRva<DWORD>(exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
      result.emplace_back(atRva<char>(names[i]));
    }
    return result;
  }

  DWORD exportedFunctionCount() const {
    return atRva<IMAGE_EXPORT_DIRECTORY>(directory(0).VirtualAddress)->NumberOfFunctions;
  }

  std::set<std::string> importedLibraries() const {
    std::set<std::string> result;
    const auto *entry = atRva<IMAGE_IMPORT_DESCRIPTOR>(directory(1).VirtualAddress);
    for (; entry->Name != 0; ++entry) {
      std::string name(atRva<char>(entry->Name));
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      result.insert(name);
    }
    return result;
  }

private:
  template <typename T>
  const T *at(size_t offset) const {
    if (offset + sizeof(T) > bytes_.size()) {
      throw std::runtime_error("image truncated");
    }
    return reinterpret_cast<const T *>(bytes_.data() + offset);
  }
  size_t ntOffset() const { return at<IMAGE_DOS_HEADER>(0)->e_lfanew; }
  WORD optionalMagic() const {
    return *at<WORD>(ntOffset() + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER));
  }

  std::vector<char> bytes_;
};

struct Build {
  const wchar_t *file;
  WORD machine;
  bool is64;
  const wchar_t *internalName;
  const wchar_t *descriptionEnd;
};

const Build kBuilds[] = {
    {L"paintwatch64.dll", IMAGE_FILE_MACHINE_AMD64, true, L"paintwatch64", L"(64-bit)"},
    {L"paintwatch32.dll", IMAGE_FILE_MACHINE_I386, false, L"paintwatch32", L"(32-bit)"},
};

class DllImageTest : public ::testing::TestWithParam<Build> {};

TEST_P(DllImageTest, HeaderExportsImportsAndSharedSection) {
  const Build build = GetParam();
  const PeImage image(lumo::test::besideThisProgram(build.file));
  ASSERT_TRUE(image.loaded()) << "missing: build the i686 preset first";
  EXPECT_EQ(image.fileHeader().Machine, build.machine);
  EXPECT_TRUE(image.fileHeader().Characteristics & IMAGE_FILE_DLL);
  EXPECT_EQ(image.is64(), build.is64);

  EXPECT_EQ(image.exportNames(),
            (std::vector<std::string>{"setHookWithMessage", "unsetHookForWindow"}));
  EXPECT_EQ(image.exportedFunctionCount(), 2u);

  // A guest in every hooked process: no runtime of its own, so no other
  // library, no thread-start callbacks, and small.
  EXPECT_EQ(image.importedLibraries(), (std::set<std::string>{"KERNEL32.DLL", "USER32.DLL"}));
  EXPECT_EQ(image.directory(IMAGE_DIRECTORY_ENTRY_TLS).VirtualAddress, 0u);
  EXPECT_EQ(image.directory(IMAGE_DIRECTORY_ENTRY_TLS).Size, 0u);
  EXPECT_LE(image.fileSize(), 48u * 1024);

  const DWORD shared = IMAGE_SCN_MEM_SHARED | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE;
  int sharedSections = 0;
  for (const IMAGE_SECTION_HEADER &section : image.sections()) {
    if (std::strncmp(reinterpret_cast<const char *>(section.Name), ".shared", 8) == 0) {
      ++sharedSections;
      EXPECT_EQ(section.Characteristics & shared, shared);
      EXPECT_FALSE(section.Characteristics & IMAGE_SCN_MEM_EXECUTE);
      // Five variables: a message number, three hooks and a window.
      EXPECT_GE(section.Misc.VirtualSize, build.is64 ? 36u : 20u);
    }
  }
  EXPECT_EQ(sharedSections, 1);
}

std::wstring versionString(const std::vector<char> &info, const wchar_t *name) {
  std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  void *value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0) {
    return L"";
  }
  return std::wstring(static_cast<const wchar_t *>(value));
}

TEST_P(DllImageTest, VersionResource) {
  const Build build = GetParam();
  const std::wstring path = lumo::test::besideThisProgram(build.file);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00040000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00040000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  EXPECT_EQ(versionString(info, L"ProductName"), L"Tarnwick Server");
  EXPECT_EQ(versionString(info, L"InternalName"), build.internalName);
  EXPECT_EQ(versionString(info, L"OriginalFilename"), build.file);
  const std::wstring description = versionString(info, L"FileDescription");
  const std::wstring end = build.descriptionEnd;
  ASSERT_GE(description.size(), end.size());
  EXPECT_EQ(description.substr(description.size() - end.size()), end);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, DllImageTest, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build> &info) {
                           return info.param.is64 ? "paintwatch64" : "paintwatch32";
                         });

}  // namespace
