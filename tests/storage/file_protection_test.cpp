#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "storage/file_protection.h"
#include "storage/safe_file_writer.h"
#include "storage_test_support.h"

namespace lumo {
namespace storage {
namespace {

bool isWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE buffer[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof buffer;
  return sid && CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

struct AllowEntry {
  WELL_KNOWN_SID_TYPE trustee;
  ACCESS_MASK mask;
};

// Owner and group as given (a null owner is not checked), a protected DACL
// with exactly the listed allow entries.
void expectDescriptor(PSECURITY_DESCRIPTOR descriptor, const WELL_KNOWN_SID_TYPE *owner,
                      const WELL_KNOWN_SID_TYPE *group, const std::vector<AllowEntry> &entries) {
  ASSERT_TRUE(IsValidSecurityDescriptor(descriptor));
  PSID sid = nullptr;
  BOOL defaulted = FALSE;
  if (owner) {
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &sid, &defaulted));
    EXPECT_TRUE(isWellKnown(sid, *owner));
  }
  if (group) {
    ASSERT_TRUE(GetSecurityDescriptorGroup(descriptor, &sid, &defaulted));
    EXPECT_TRUE(isWellKnown(sid, *group));
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  ASSERT_EQ(entries.size(), dacl->AceCount);
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void *raw = nullptr;
    ASSERT_TRUE(GetAce(dacl, index, &raw));
    const auto *ace = static_cast<const ACCESS_ALLOWED_ACE *>(raw);
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    EXPECT_EQ(entries[index].mask, ace->Mask) << "entry " << index;
    EXPECT_TRUE(isWellKnown(const_cast<DWORD *>(&ace->SidStart), entries[index].trustee));
  }
}

const WELL_KNOWN_SID_TYPE administrators = WinBuiltinAdministratorsSid;
const WELL_KNOWN_SID_TYPE localSystem = WinLocalSystemSid;
const std::vector<AllowEntry> adminOwnedEntries = {{administrators, FILE_ALL_ACCESS},
                                                   {localSystem, 0x001301BF}};

TEST(FileProtectionTest, DescriptorsAreBuiltFromTheFixedStrings) {
  EXPECT_EQ(nullptr, protectionSddl(FileProtection::Inherited));
  EXPECT_STREQ(L"D:P(A;;FRFWSDWD;;;BA)(A;;FRFWSDWD;;;SY)",
               protectionSddl(FileProtection::AdminsAndSystem));
  EXPECT_STREQ(L"O:BAG:SYD:P(A;;FA;;;BA)(A;;0x001301BF;;;SY)",
               protectionSddl(FileProtection::AdminOwned));
  EXPECT_STREQ(protectionSddl(FileProtection::AdminOwned),
               protectionSddl(static_cast<FileProtection>(-4)));

  ProtectionAttributes inherited = protectionAttributes(FileProtection::Inherited);
  EXPECT_EQ(nullptr, inherited.get());
  EXPECT_EQ("", inherited.error());

  ProtectionAttributes owned = protectionAttributes(FileProtection::AdminOwned);
  ASSERT_NE(nullptr, owned.get());
  EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), owned.get()->nLength);
  EXPECT_FALSE(owned.get()->bInheritHandle);
  expectDescriptor(owned.get()->lpSecurityDescriptor, &administrators, &localSystem,
                   adminOwnedEntries);

  const ACCESS_MASK readWriteDeleteAcl = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE | WRITE_DAC;
  ProtectionAttributes shared = protectionAttributes(FileProtection::AdminsAndSystem);
  ASSERT_NE(nullptr, shared.get());
  expectDescriptor(shared.get()->lpSecurityDescriptor, nullptr, nullptr,
                   {{administrators, readWriteDeleteAcl}, {localSystem, readWriteDeleteAcl}});
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(shared.get()->lpSecurityDescriptor, &owner, &defaulted));
  EXPECT_EQ(nullptr, owner);
}

BOOL WINAPI conversionRefused(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

TEST(FileProtectionTest, FailedConversionIsReportedAndStopsTheWrite) {
  test::ScratchFolder folder;
  const test::StorageApiRestorer restorer;
  storageApi.convertSecurityDescriptor = &conversionRefused;
  const std::string expected =
      "ConvertStringSecurityDescriptorToSecurityDescriptorW failed with Windows error 87";
  ProtectionAttributes attributes = protectionAttributes(FileProtection::AdminOwned);
  EXPECT_EQ(nullptr, attributes.get());
  EXPECT_EQ(expected, attributes.error());

  const SafeWriteResult result = WindowsSafeFileWriter(FileProtection::AdminOwned, L"ProtectionTest")
                                     .writeAtomically(folder.path(L"a.txt"), "x");
  EXPECT_EQ(SafeWriteStatus::TemporaryFileFailed, result.status);
  EXPECT_EQ(expected, result.message);
  EXPECT_TRUE(folder.names().empty());
}

struct LocalDescriptor {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ~LocalDescriptor() { LocalFree(descriptor); }
};

// Owner, group and DACL as the file system keeps them.
DWORD readDescriptor(const std::wstring &path, LocalDescriptor &out) {
  const UniqueHandle file = test::ownedFile(CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ,
                                                        nullptr, OPEN_EXISTING, 0, nullptr));
  return GetSecurityInfo(file.get(), SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                             DACL_SECURITY_INFORMATION,
                         nullptr, nullptr, nullptr, nullptr, &out.descriptor);
}

bool descriptorsAreKept(const std::wstring &probe) {
  ProtectionAttributes attributes = protectionAttributes(FileProtection::AdminOwned);
  test::ownedFile(
      CreateFileW(probe.c_str(), GENERIC_WRITE, 0, attributes.get(), CREATE_NEW, 0, nullptr));
  LocalDescriptor kept;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  return readDescriptor(probe, kept) == ERROR_SUCCESS &&
         GetSecurityDescriptorOwner(kept.descriptor, &owner, &defaulted) &&
         isWellKnown(owner, WinBuiltinAdministratorsSid);
}

TEST(FileProtectionTest, AFirstWriteCarriesTheAdminOwnedDescriptor) {
  test::ScratchFolder folder;
  if (!descriptorsAreKept(folder.path(L"probe"))) {
    GTEST_SKIP() << "this file system does not keep the security descriptors given at creation";
  }
  const std::wstring target = folder.path(L"a.txt");
  ASSERT_EQ(SafeWriteStatus::Written,
            WindowsSafeFileWriter(FileProtection::AdminOwned, L"ProtectionTest")
                .writeAtomically(target, "x")
                .status);
  LocalDescriptor kept;
  ASSERT_EQ(DWORD(ERROR_SUCCESS), readDescriptor(target, kept));
  expectDescriptor(kept.descriptor, &administrators, &localSystem, adminOwnedEntries);
}

}  // namespace
}  // namespace storage
}  // namespace lumo
