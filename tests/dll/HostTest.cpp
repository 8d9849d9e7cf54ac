// Loads the built tanufold.dll the way the shell does and drives its exports and class factory.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dll/FolderTestSupport.h"
#include "namespace/ClassId.h"

namespace {

using foldertest::LibraryPath;

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();

template <class Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// {00000000-1111-2222-3333-444444444444}: neither the library's class nor a known interface.
const GUID OtherGuid = {0x00000000, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44}};

class HostTest : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA(LibraryPath().c_str());
    ASSERT_NE(module_, nullptr) << "cannot load " << LibraryPath();
    getClassObject_ = Export<GetClassObjectFunction>(module_, "DllGetClassObject");
    canUnloadNow_ = Export<CanUnloadNowFunction>(module_, "DllCanUnloadNow");
    ASSERT_NE(getClassObject_, nullptr);
    ASSERT_NE(canUnloadNow_, nullptr);
    ASSERT_EQ(canUnloadNow_(), S_OK) << "objects left over from an earlier test";
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  IClassFactory* Factory() {
    void* out = nullptr;
    EXPECT_EQ(getClassObject_(CLSID_Tanuvia, IID_IClassFactory, &out), S_OK);
    return static_cast<IClassFactory*>(out);
  }

  HMODULE module_ = nullptr;
  GetClassObjectFunction getClassObject_ = nullptr;
  CanUnloadNowFunction canUnloadNow_ = nullptr;
};

TEST_F(HostTest, ExportsTheThreeEntryPoints) {
  EXPECT_NE(GetProcAddress(module_, "DllMain"), nullptr);
  EXPECT_NE(GetProcAddress(module_, "DllGetClassObject"), nullptr);
  EXPECT_NE(GetProcAddress(module_, "DllCanUnloadNow"), nullptr);
}

TEST_F(HostTest, ClassFactoryStartsWithOneReferenceAndKeepsTheLibraryLoaded) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(HostTest, ClassObjectAlsoAnswersIUnknown) {
  void* out = nullptr;
  ASSERT_EQ(getClassObject_(CLSID_Tanuvia, IID_IUnknown, &out), S_OK);
  IUnknown* unknown = static_cast<IUnknown*>(out);
  void* factory = nullptr;
  ASSERT_EQ(unknown->QueryInterface(IID_IClassFactory, &factory), S_OK);
  EXPECT_EQ(factory, out) << "one object, one identity";
  static_cast<IUnknown*>(factory)->Release();
  EXPECT_EQ(unknown->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(HostTest, WrongClassOrInterfaceCreatesNothing) {
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(getClassObject_(OtherGuid, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(getClassObject_(OtherGuid, IID_IUnknown, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(getClassObject_(CLSID_Tanuvia, IID_IShellFolder, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(getClassObject_(CLSID_Tanuvia, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(HostTest, FactoryQueryInterfaceAnswersOnlyItsTwoInterfaces) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->QueryInterface(IID_IShellFolder, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(factory));
  EXPECT_EQ(factory->Release(), 1u);
  EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(HostTest, CreateInstanceRefusesAggregationAndUnnamedRoles) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(factory, IID_IShellFolder, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(nullptr, OtherGuid, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  // Only the factory itself is alive.
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(HostTest, LockServerDoesNotPinTheLibrary) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

// The string table, loaded from the library under code page 932, against the Shift-JIS bytes of
// every text the library's messages and controls are defined with.
struct ExpectedString {
  UINT id;
  const char* bytes;
};
const ExpectedString kExpectedStrings[] = {
#include "dll/StringTableExpected.inc"
};

// Ids of every non-empty string in the module's string table (16 strings to a block).
BOOL CALLBACK AddBlockIds(HMODULE module, LPCSTR, LPSTR name, LONG_PTR ids) {
  if (!IS_INTRESOURCE(name)) return TRUE;
  const UINT first = (static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)) - 1) * 16;
  for (UINT id = first; id < first + 16; ++id) {
    char text[4];
    if (LoadStringA(module, id, text, sizeof text) > 0)
      reinterpret_cast<std::set<UINT>*>(ids)->insert(id);
  }
  return TRUE;
}

TEST_F(HostTest, StringTableHoldsEveryTextInShiftJis) {
  ASSERT_EQ(GetACP(), 932u) << "the tests run with a Japanese locale";
  std::set<UINT> expectedIds;
  for (const ExpectedString& expected : kExpectedStrings) {
    char text[1024];
    int length = LoadStringA(module_, expected.id, text, sizeof text);
    EXPECT_GT(length, 0) << "string " << expected.id << " is missing";
    EXPECT_EQ(std::string(text, length > 0 ? length : 0), std::string(expected.bytes))
        << "string " << expected.id;
    expectedIds.insert(expected.id);
  }
  // And the table holds no text beyond them.
  std::set<UINT> tableIds;
  EnumResourceNamesA(module_, RT_STRING, AddBlockIds, reinterpret_cast<LONG_PTR>(&tableIds));
  EXPECT_EQ(tableIds, expectedIds);
}

}  // namespace
