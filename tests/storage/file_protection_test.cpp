#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "storage/file_lock.h"
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

  const ACCESS_MASK readWriteDeleteAcl =
      FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE | WRITE_DAC;
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

// Refuses the files' descriptors only, so that the lock is still taken.
BOOL WINAPI fileConversionRefused(LPCWSTR sddl, DWORD revision, PSECURITY_DESCRIPTOR *descriptor,
                                  PULONG size) {
  return std::wstring(sddl) == fileLockSddl ? ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                                  sddl, revision, descriptor, size)
                                            : conversionRefused(sddl, revision, descriptor, size);
}

TEST(FileProtectionTest, FailedConversionIsReportedAndStopsTheWrite) {
  test::ScratchFolder folder;
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.convertSecurityDescriptor = &fileConversionRefused;
  const std::string expected =
      "ConvertStringSecurityDescriptorToSecurityDescriptorW failed with Windows error 87";
  ProtectionAttributes attributes = protectionAttributes(FileProtection::AdminOwned);
  EXPECT_EQ(nullptr, attributes.get());
  EXPECT_EQ(expected, attributes.error());

  const SafeWriteResult result =
      WindowsSafeFileWriter(FileProtection::AdminOwned, L"ProtectionTest")
          .writeAtomically(folder.path(L"a.txt"), "x");
  EXPECT_EQ(SafeWriteStatus::TemporaryFileFailed, result.status);
  EXPECT_EQ(expected, result.message);
  EXPECT_TRUE(folder.names().empty());
}

// What each opening of a lock asked the platform for.
std::vector<DWORD> lockAccess;
std::vector<std::vector<BYTE>> lockDescriptors;

HANDLE WINAPI recordLockRequest(LPSECURITY_ATTRIBUTES security, LPCWSTR name, DWORD flags,
                                DWORD access) {
  lockAccess.push_back(access);
  const auto *bytes =
      static_cast<const BYTE *>(security ? security->lpSecurityDescriptor : nullptr);
  lockDescriptors.emplace_back(
      bytes, bytes ? bytes + GetSecurityDescriptorLength(security->lpSecurityDescriptor) : bytes);
  return CreateMutexExW(nullptr, name, flags, access);
}

TEST(FileProtectionTest, ALockIsOpenedToWaitAndReleaseOnlyAndCreatedForAllWhoShareTheFiles) {
  test::ScratchFolder folder;
  const std::wstring target = folder.path(L"a.txt");
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.createMutexEx = &recordLockRequest;
  {
    const FileLock lock(fileLockName(L"ProtectionTest", target));
    EXPECT_TRUE(lock.owned());
  }
  EXPECT_EQ(TimedLockState::Acquired, TimedFileLock(target, L"ProtectionTest").state());
  EXPECT_EQ(SafeWriteStatus::Written,
            WindowsSafeFileWriter(FileProtection::AdminOwned, L"ProtectionTest")
                .writeAtomically(target, "x")
                .status);
  const DWORD waitAndRelease = SYNCHRONIZE | MUTEX_MODIFY_STATE;
  EXPECT_EQ(std::vector<DWORD>(3, waitAndRelease), lockAccess);
  ASSERT_EQ(3u, lockDescriptors.size());
  for (std::vector<BYTE> &descriptor : lockDescriptors) {
    ASSERT_FALSE(descriptor.empty());
    expectDescriptor(descriptor.data(), nullptr, nullptr,
                     {{localSystem, waitAndRelease},
                      {administrators, waitAndRelease},
                      {WinInteractiveSid, waitAndRelease}});
    PSID owner = &owner;
    PSID group = &group;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted);
    GetSecurityDescriptorGroup(descriptor.data(), &group, &defaulted);
    EXPECT_EQ(nullptr, owner) << "the creator's own";
    EXPECT_EQ(nullptr, group);
  }

  storageSeam.convertSecurityDescriptor = &conversionRefused;
  const FileLock refused(fileLockName(L"ProtectionTest", target));
  EXPECT_FALSE(refused.owned());
  EXPECT_EQ("ConvertStringSecurityDescriptorToSecurityDescriptorW failed with Windows error 87",
            refused.error());
  EXPECT_EQ(TimedLockState::Failed, TimedFileLock(target, L"ProtectionTest").state());
  EXPECT_EQ(3u, lockAccess.size()) << "no mutex without its descriptor";
}

std::wstring sddlOf(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t *text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(
      descriptor, SDDL_REVISION_1,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
      nullptr);
  const UniqueLocalMemory owned(text);
  return text ? text : L"<unconvertible>";
}

// A replaced file whose access list an administrator narrowed to its owner
// and LocalSystem.
const wchar_t narrowedSddl[] = L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;S-1-5-21-1-2-3-1001)(A;;FA;;;SY)";
std::vector<std::wstring> descriptorReads;
SECURITY_INFORMATION readInformation;
DWORD readError;

DWORD WINAPI reportNarrowed(LPCWSTR name, SE_OBJECT_TYPE, SECURITY_INFORMATION information, PSID *,
                            PSID *, PACL *, PACL *, PSECURITY_DESCRIPTOR *descriptor) {
  descriptorReads.push_back(name);
  readInformation = information;
  if (readError == ERROR_SUCCESS) {
    ConvertStringSecurityDescriptorToSecurityDescriptorW(narrowedSddl, SDDL_REVISION_1, descriptor,
                                                         nullptr);
  }
  return readError;
}

// The descriptor each new file was to carry, as SDDL; empty for none.
std::vector<std::wstring> requested;

HANDLE WINAPI recordRequestedDescriptor(LPCWSTR name, DWORD access, DWORD share,
                                        LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                        DWORD flags, HANDLE from) {
  if (disposition == CREATE_NEW) {
    requested.push_back(security ? sddlOf(security->lpSecurityDescriptor) : L"");
  }
  // Made without it: Wine would only turn the access list into mode bits.
  return CreateFileW(name, access, share, nullptr, disposition, flags, from);
}

LoadedFileSnapshot loaded(const std::string &bytes) {
  LoadedFileSnapshot snapshot;
  snapshot.existed = 1;
  snapshot.bytes = bytes;
  return snapshot;
}

TEST(FileProtectionTest, InheritedKeepsTheReplacedFilesOwnerAndAccessList) {
  test::ScratchFolder folder;
  const std::wstring target = folder.path(L"a.txt");
  const std::wstring backup = folder.path(L"a.bak");
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.createFile = &recordRequestedDescriptor;
  storageSeam.getNamedSecurityInfo = &reportNarrowed;
  readError = ERROR_SUCCESS;
  const auto fresh = [] {
    requested.clear();
    descriptorReads.clear();
  };
  const WindowsSafeFileWriter inherited(FileProtection::Inherited, L"ProtectionTest");
  PSECURITY_DESCRIPTOR converted = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(narrowedSddl, SDDL_REVISION_1,
                                                                   &converted, nullptr));
  const std::wstring narrowed = sddlOf(UniqueLocalMemory(converted).get());

  fresh();
  ASSERT_EQ(SafeWriteStatus::Written, inherited.writeAtomically(target, "1").status);
  EXPECT_EQ(std::vector<std::wstring>{L""}, requested) << "a new file takes the folder's";
  EXPECT_TRUE(descriptorReads.empty());

  // The copy of the previous content is protected like the file it copies.
  fresh();
  ASSERT_EQ(SafeWriteStatus::Written,
            inherited.writeIfUnchanged(target, "2", loaded("1"), backup).status);
  EXPECT_EQ((std::vector<std::wstring>{narrowed, narrowed}), requested);
  EXPECT_EQ(std::vector<std::wstring>{target}, descriptorReads);
  EXPECT_EQ(SECURITY_INFORMATION(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION),
            readInformation);
  fresh();
  ASSERT_EQ(SafeWriteStatus::Written, inherited.writeAtomically(target, "3").status);
  EXPECT_EQ(std::vector<std::wstring>{narrowed}, requested);

  fresh();
  const WindowsSafeFileWriter owned(FileProtection::AdminOwned, L"ProtectionTest");
  ASSERT_EQ(SafeWriteStatus::Written,
            owned.writeIfUnchanged(target, "4", loaded("3"), backup).status);
  const std::wstring adminOwned =
      sddlOf(protectionAttributes(FileProtection::AdminOwned).get()->lpSecurityDescriptor);
  EXPECT_EQ((std::vector<std::wstring>{adminOwned, adminOwned}), requested);
  EXPECT_TRUE(descriptorReads.empty());

  fresh();
  readError = ERROR_ACCESS_DENIED;
  const SafeWriteResult unreadable = inherited.writeAtomically(target, "5");
  EXPECT_EQ(SafeWriteStatus::ReadFailed, unreadable.status);
  EXPECT_EQ("GetNamedSecurityInfoW failed with Windows error 5", unreadable.message);
  EXPECT_TRUE(requested.empty());
  EXPECT_EQ("4", test::contentOf(target));
  EXPECT_EQ((std::vector<std::wstring>{L"a.bak", L"a.txt"}), folder.names());
}

// Owner, group and DACL as the file system keeps them.
DWORD readDescriptor(const std::wstring &path, UniqueLocalMemory &out) {
  const UniqueFileHandle file(
      CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  return GetSecurityInfo(
      file.get(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
      nullptr, nullptr, nullptr, out.put());
}

bool descriptorsAreKept(const std::wstring &probe) {
  ProtectionAttributes attributes = protectionAttributes(FileProtection::AdminOwned);
  UniqueFileHandle(
      CreateFileW(probe.c_str(), GENERIC_WRITE, 0, attributes.get(), CREATE_NEW, 0, nullptr));
  UniqueLocalMemory kept;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  return readDescriptor(probe, kept) == ERROR_SUCCESS &&
         GetSecurityDescriptorOwner(kept.get(), &owner, &defaulted) &&
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
  UniqueLocalMemory kept;
  ASSERT_EQ(DWORD(ERROR_SUCCESS), readDescriptor(target, kept));
  expectDescriptor(kept.get(), &administrators, &localSystem, adminOwnedEntries);
}

// The platform refuses this caller every owner but its own.
HANDLE WINAPI ownerRefused(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE from) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (disposition == CREATE_NEW && security != nullptr &&
      GetSecurityDescriptorOwner(security->lpSecurityDescriptor, &owner, &defaulted) &&
      owner != nullptr) {
    requested.push_back(sddlOf(security->lpSecurityDescriptor));
    SetLastError(ERROR_INVALID_OWNER);
    return INVALID_HANDLE_VALUE;
  }
  return recordRequestedDescriptor(name, access, share, security, disposition, flags, from);
}

TEST(FileProtectionTest, AnOwnerTheWriterMayNotAssignGivesWayButTheAccessListStays) {
  test::ScratchFolder folder;
  const std::wstring target = folder.path(L"a.txt");
  const std::wstring backup = folder.path(L"a.bak");
  test::putContent(target, "1");
  const test::SeamOverride<StorageSeam> seam(storageSeam);
  storageSeam.createFile = &ownerRefused;
  storageSeam.getNamedSecurityInfo = &reportNarrowed;
  readError = ERROR_SUCCESS;
  requested.clear();
  PSECURITY_DESCRIPTOR converted = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(narrowedSddl, SDDL_REVISION_1,
                                                                   &converted, nullptr));
  const std::wstring narrowed = sddlOf(UniqueLocalMemory(converted).get());
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;;FA;;;S-1-5-21-1-2-3-1001)(A;;FA;;;SY)", SDDL_REVISION_1, &converted, nullptr));
  const std::wstring ownerless = sddlOf(UniqueLocalMemory(converted).get());

  const WindowsSafeFileWriter writer(FileProtection::Inherited, L"ProtectionTest");
  ASSERT_EQ(SafeWriteStatus::Written,
            writer.writeIfUnchanged(target, "2", loaded("1"), backup).status);
  // Each file was asked for with the owner first, then with the same
  // protected access list and no owner.
  EXPECT_EQ((std::vector<std::wstring>{narrowed, ownerless, narrowed, ownerless}), requested);
  EXPECT_EQ("2", test::contentOf(target));
  EXPECT_EQ("1", test::contentOf(backup));
}

TEST(FileProtectionTest, AReplacedFileKeepsTheAccessListSetOnIt) {
  test::ScratchFolder folder;
  if (!descriptorsAreKept(folder.path(L"probe"))) {
    GTEST_SKIP() << "this file system does not keep the security descriptors given at creation";
  }
  const std::wstring target = folder.path(L"a.txt");
  const WindowsSafeFileWriter writer(FileProtection::Inherited, L"ProtectionTest");
  ASSERT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, "1").status);
  PSECURITY_DESCRIPTOR narrowing = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;;FA;;;OW)(A;;FA;;;SY)", SDDL_REVISION_1, &narrowing, nullptr));
  const UniqueLocalMemory ownedNarrowing(narrowing);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(narrowing, &present, &dacl, &defaulted));
  std::wstring name = target;
  ASSERT_EQ(DWORD(ERROR_SUCCESS),
            SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, dacl, nullptr));
  UniqueLocalMemory before;
  ASSERT_EQ(DWORD(ERROR_SUCCESS), readDescriptor(target, before));

  ASSERT_EQ(SafeWriteStatus::Written, writer.writeAtomically(target, "2").status);
  UniqueLocalMemory after;
  ASSERT_EQ(DWORD(ERROR_SUCCESS), readDescriptor(target, after));
  EXPECT_EQ(sddlOf(before.get()), sddlOf(after.get()));
}

}  // namespace
}  // namespace storage
}  // namespace lumo
