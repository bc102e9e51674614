// The Windows build runs against the system's components, not a stand-in: the module is the DLL
// a host loads, and the requests it builds are objects of the msxml that the registry names for
// "Microsoft.XMLDOM".
#include <gtest/gtest.h>
#include <quenlo/extension.h>
#include <quenlo/voting.h>

#include <algorithm>
#include <cwctype>
#include <string>

#include "support/recording_host.h"

namespace quenlo::confext {

namespace {

std::wstring Lowercase(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t letter) { return static_cast<wchar_t>(std::towlower(letter)); });
  return text;
}

std::wstring BaseName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return Lowercase(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

// The file name of the module whose code is at address.
std::wstring ModuleAt(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module)) {
    return L"";
  }
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return BaseName(path);
}

// The module that implements a COM object: the one holding the first entry of its table of
// methods (QueryInterface).
std::wstring ModuleOf(IUnknown* object) {
  void* const* methods = *reinterpret_cast<void* const* const*>(object);
  return ModuleAt(methods[0]);
}

// The entry point as a host finds it: the DLL by its plain name, the export by its undecorated one.
LoadConferenceExtensionFunction LoadedEntryPoint() {
  const HMODULE module = LoadLibraryW(L"quenlo_confext.dll");
  if (module == nullptr) return nullptr;
  return reinterpret_cast<LoadConferenceExtensionFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "LoadConferenceExtension")));
}

TEST(RealPlatformTest, TheEntryPointIsExportedByTheModuleDll) {
  const LoadConferenceExtensionFunction entry = LoadedEntryPoint();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(ModuleAt(reinterpret_cast<const void*>(entry)), L"quenlo_confext.dll");
}

TEST(RealPlatformTest, TheRegistryNamesMsxmlForTheDocumentClass) {
  CLSID documentClass{};
  ASSERT_EQ(CLSIDFromProgID(L"Microsoft.XMLDOM", &documentClass), S_OK);
  wchar_t classText[64] = {};
  ASSERT_GT(StringFromGUID2(documentClass, classText, 64), 0);
  const std::wstring key = std::wstring(L"CLSID\\") + classText + L"\\InprocServer32";
  wchar_t server[MAX_PATH] = {};
  DWORD size = sizeof(server);
  ASSERT_EQ(
      RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, server, &size),
      ERROR_SUCCESS);
  // msxml3.dll on Windows; Wine registers the class in msxml.dll, which forwards to msxml3.
  EXPECT_EQ(BaseName(server).rfind(L"msxml", 0), 0u) << BaseName(server);
}

TEST(RealPlatformTest, RequestsAreElementsOfTheSystemDom) {
  const LoadConferenceExtensionFunction entry = LoadedEntryPoint();
  ASSERT_NE(entry, nullptr);
  RecordingHost host;
  ASSERT_EQ(entry(&host), 42);
  ASSERT_FALSE(host.Registrations().empty());
  ComPtr<IUnknown> created;
  ASSERT_EQ(
      host.Registrations()[0].factory->CreateInstance(nullptr, IID_IUnknown, created.PutVoid()),
      S_OK);
  const ComPtr<IConferenceSession> session = created.As<IConferenceSession>();
  ASSERT_TRUE(session);
  ASSERT_EQ(session->SetProperty(L"voting.room_name", L"room@conference.example"), S_OK);
  ASSERT_EQ(session->Attach(&host), S_OK);
  const ComPtr<IVotingCommands> commands = session.As<IVotingCommands>();
  ASSERT_TRUE(commands);
  ASSERT_EQ(commands->Apply(L"1"), S_OK);
  session->Detach();

  ASSERT_EQ(host.Sent().size(), 1u);
  EXPECT_EQ(ModuleOf(host.Sent()[0].Get()), L"msxml3.dll");
  // Nothing of the process answers for the DOM but the system's msxml.
  EXPECT_EQ(GetModuleHandleW(L"quenlo_platform.dll"), nullptr);
}

}  // namespace

}  // namespace quenlo::confext
