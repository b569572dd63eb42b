// Win32Platform against the real APIs, with real files in temporary folders.
#include "hostenv/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "capture/import.h"
#include "hostenv/forwarding_platform.h"
#include "hostenv/win32/text.h"
#include "interface/cls_tavirex.h"
#include "review/image_list_view.h"
#include "temp_folder.h"
#include "winrules/vb_date.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

using testing::RunningUnderWine;
using testing::TempFolder;

// Runs `action` and returns the VB error number it throws (0 for none).
template <typename Action>
int ErrorNumberOf(Action action) {
  try {
    action();
  } catch (const VbError& failure) {
    return failure.number();
  }
  return 0;
}

void SetAttributes(const std::string& path, DWORD attributes) {
  ASSERT_TRUE(SetFileAttributesW(WideFromUtf8(path).c_str(), attributes)) << path;
}

std::set<std::string> Sorted(const std::vector<std::string>& names) {
  return {names.begin(), names.end()};
}

class Win32PlatformTest : public ::testing::Test {
 protected:
  Win32Platform platform_;
  TempFolder temp_;
};

TEST_F(Win32PlatformTest, FolderOperationsRaiseTheFileSystemObjectsNumbers) {
  std::string folder = temp_ / "new";
  EXPECT_FALSE(platform_.FolderExists(folder));
  platform_.CreateFolder(folder);
  EXPECT_TRUE(platform_.FolderExists(folder));
  EXPECT_FALSE(platform_.FileExists(folder));
  EXPECT_EQ(ErrorNumberOf([&] { platform_.CreateFolder(folder); }), 58);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.CreateFolder(temp_ / "no\\child"); }), 76);

  // Files only, hidden and system ones too, sub-folders left out.
  std::string hidden = temp_.Write("new\\hidden.jpg", "h");
  std::string system = temp_.Write("new\\system.jpg", "s");
  temp_.Write("new\\plain", "p");
  temp_.Write("new\\Zoë Ω 東京 😀.jpg", "u");  // outside the ANSI code page
  temp_.MakeFolder("new\\sub");
  SetAttributes(hidden, FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(system, FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(Sorted(platform_.FolderFileNames(folder)),
            (std::set<std::string>{"hidden.jpg", "plain", "system.jpg", "Zoë Ω 東京 😀.jpg"}));
  EXPECT_TRUE(platform_.FileExists(folder + "\\Zoë Ω 東京 😀.jpg"));
  platform_.CreateFolder(folder + "\\Łódź");
  EXPECT_TRUE(platform_.FolderExists(folder + "\\ŁÓDŹ"));
  EXPECT_TRUE(platform_.FolderFileNames(temp_ / "new\\sub").empty());
  EXPECT_EQ(ErrorNumberOf([&] { platform_.FolderFileNames(temp_ / "missing"); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.FolderFileNames(temp_ / "new\\plain"); }), 76);
  EXPECT_TRUE(platform_.FileExists(temp_ / "new\\plain"));
}

TEST_F(Win32PlatformTest, CopyAndDeleteRaiseTheFileSystemObjectsNumbers) {
  std::string source = temp_.Write("a.jpg", "new bytes");
  std::string destination = temp_.Write("b.jpg", "old");
  platform_.CopyFile(source, destination);
  EXPECT_EQ(temp_.Read("b.jpg"), "new bytes");
  platform_.MoveReplacing(temp_.Write("b.tmp", "newer"), destination);
  EXPECT_EQ(temp_.Read("b.jpg"), "newer");
  EXPECT_FALSE(platform_.FileExists(temp_ / "b.tmp"));
  EXPECT_EQ(ErrorNumberOf([&] { platform_.CopyFile(temp_ / "none.jpg", destination); }), 53);

  // A source another program holds exclusively.
  HANDLE locked = CreateFileA(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.CopyFile(source, temp_ / "c.jpg"); }), 70);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.DeleteFile(source); }), 70);
  CloseHandle(locked);

  SetAttributes(destination, FILE_ATTRIBUTE_READONLY);
  int copy_onto_read_only = ErrorNumberOf([&] { platform_.CopyFile(source, destination); });
  // Wine keeps the read-only flag as Unix permissions, which root bypasses.
  if (!RunningUnderWine()) {
    EXPECT_EQ(copy_onto_read_only, 70);
  }
  EXPECT_EQ(ErrorNumberOf([&] { platform_.DeleteFile(destination); }), 70);
  EXPECT_TRUE(platform_.FileExists(destination));

  platform_.DeleteFile(source);
  EXPECT_FALSE(platform_.FileExists(source));
  EXPECT_EQ(ErrorNumberOf([&] { platform_.DeleteFile(source); }), 53);

  // An export named outside the code page, moved as the import moves it.
  const std::string exported = temp_.Write("Zoë Ω 東京 😀.jpg", "image");
  const std::string stored = temp_ / "4711_1042_Zoë Ω 東京 😀.jpg";
  platform_.CopyFile(exported, stored);
  platform_.FlushFile(stored);
  platform_.DeleteFile(exported);
  EXPECT_EQ(temp_.Read("4711_1042_Zoë Ω 東京 😀.jpg"), "image");
  EXPECT_FALSE(platform_.FileExists(exported));
  EXPECT_EQ(ErrorNumberOf([&] { platform_.FlushFile(exported); }), 53);
}

TEST_F(Win32PlatformTest, AppendToFileAddsToTheEndAndRaisesOpenStatementNumbers) {
  std::string log = temp_ / "x.log";
  platform_.AppendToFile(log, "\r\none\r\n");
  platform_.AppendToFile(log, "two Zoë Ω\r\n");  // as Print # writes it: the ANSI code page
  EXPECT_EQ(temp_.Read("x.log"), "\r\none\r\ntwo Zo\xeb O\r\n");

  EXPECT_EQ(ErrorNumberOf([&] { platform_.AppendToFile(temp_ / "missing\\x.log", "a"); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.AppendToFile(temp_.MakeFolder("dir"), "a"); }), 75);
  HANDLE locked = CreateFileA(log.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.AppendToFile(log, "three"); }), 70);
  CloseHandle(locked);
  SetAttributes(log, FILE_ATTRIBUTE_READONLY);
  int read_only = ErrorNumberOf([&] { platform_.AppendToFile(log, "four"); });
  if (!RunningUnderWine()) {
    EXPECT_EQ(read_only, 75);
  }
}

TEST_F(Win32PlatformTest, ListDirectoryFollowsDirRules) {
  for (const char* name : {"4711_a.jpg", "4711_x", "4711_", "4711_a.b.c", "X4711_b.jpg",
                           "4711_hidden.jpg", "4711_system.jpg", "4711_ro.JPG", "4711_Ωμέγα"}) {
    temp_.Write(name, "x");
  }
  temp_.MakeFolder("4711_sub");
  SetAttributes(temp_ / "4711_hidden.jpg", FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(temp_ / "4711_system.jpg", FILE_ATTRIBUTE_SYSTEM);
  SetAttributes(temp_ / "4711_ro.JPG", FILE_ATTRIBUTE_READONLY);

  auto list = [&](const std::string& pattern) {
    std::vector<std::string> names;
    platform_.ListDirectory(temp_ / pattern, [&](const std::string& name) {
      names.push_back(name);
      return true;
    });
    return Sorted(names);
  };
  EXPECT_EQ(list("4711_*.*"),
            (std::set<std::string>{"4711_", "4711_a.b.c", "4711_a.jpg", "4711_ro.JPG", "4711_sub",
                                   "4711_x", "4711_Ωμέγα"}));
  EXPECT_EQ(list("4711_ΩΜΈΓΑ"), (std::set<std::string>{"4711_Ωμέγα"}));
  EXPECT_EQ(list("4711_*.jpg"), (std::set<std::string>{"4711_a.jpg", "4711_ro.JPG"}));
  EXPECT_EQ(list("4711_A*"), (std::set<std::string>{"4711_a.b.c", "4711_a.jpg"}));
  EXPECT_EQ(list("*"), (std::set<std::string>{"4711_", "4711_a.b.c", "4711_a.jpg", "4711_ro.JPG",
                                              "4711_sub", "4711_x", "X4711_b.jpg", "4711_Ωμέγα"}));
  EXPECT_TRUE(list("missing\\*").empty());

  int visits = 0;
  platform_.ListDirectory(temp_ / "*", [&](const std::string&) { return ++visits < 2; });
  EXPECT_EQ(visits, 2);
}

TEST_F(Win32PlatformTest, ReadProfileStringCutsAt254AndNeverCreatesTheFile) {
  std::string long_value(300, 'v');
  std::string ini = temp_.Write("t.ini",
                                "[System]\r\nDataDir=C:\\Data\r\nEmpty=\r\n"
                                "[Long]\r\nValue=" +
                                    long_value + "\r\n[M\xfcller]\r\nName=Zo\xeb \x80\r\n");
  EXPECT_EQ(platform_.ReadProfileString("system", "DATADIR", ini), "C:\\Data");
  EXPECT_EQ(platform_.ReadProfileString("System", "Empty", ini), "");
  EXPECT_EQ(platform_.ReadProfileString("System", "Missing", ini), "");
  EXPECT_EQ(platform_.ReadProfileString("Missing", "DataDir", ini), "");
  EXPECT_EQ(platform_.ReadProfileString("Long", "Value", ini), long_value.substr(0, 254));
  // Names go in, and the value comes back, through the ANSI code page.
  EXPECT_EQ(platform_.ReadProfileString("Müller", "Name", ini), "Zoë €");

  std::string missing = temp_ / "missing.ini";
  EXPECT_EQ(platform_.ReadProfileString("System", "DataDir", missing), "");
  EXPECT_FALSE(platform_.FileExists(missing));
}

TEST_F(Win32PlatformTest, RegionalFormatsAndConversionsAreUnitedStates) {
  VbDate both = FromCivil({2026, 12, 5, 16, 12, 40});
  VbDate day = FromCivil({2026, 12, 5, 0, 0, 0});
  VbDate time = FromCivil({1899, 12, 30, 16, 12, 40});
  EXPECT_EQ(platform_.FormatGeneralDate(both), "12/5/2026 4:12:40 PM");
  EXPECT_EQ(platform_.FormatGeneralDate(day), "12/5/2026");
  EXPECT_EQ(platform_.FormatGeneralDate(time), "4:12:40 PM");
  EXPECT_EQ(platform_.FormatShortDate(both), "12/5/2026");
  EXPECT_EQ(platform_.FormatTimeOfDay(both), "4:12:40 PM");
  EXPECT_EQ(platform_.DateSeparator(), "/");
  std::optional<VbDate> parsed = platform_.ParseDate("12/5/2026 4:12:40 PM");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_NEAR(*parsed, both, 0.1 / 86400);
  EXPECT_EQ(platform_.ParseDate("20160531"), std::nullopt);

  EXPECT_EQ(platform_.CIntFromString(" 2.5 "), 2);
  EXPECT_EQ(platform_.CIntFromString("-32768"), -32768);
  EXPECT_EQ(platform_.CLngFromString("2147483647"), 2147483647);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.CIntFromString("32768"); }), 6);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.CLngFromString("2147483648"); }), 6);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.CIntFromString("12abc"); }), 13);

  // Now is local time in whole seconds.
  VbDate now = platform_.Now();
  SYSTEMTIME local;
  GetLocalTime(&local);
  CivilDateTime civil = ToCivil(now);
  EXPECT_EQ(civil.year, local.wYear);
  EXPECT_EQ(civil.day, local.wDay);
  EXPECT_NEAR(FromCivil(civil), now, 0.01 / 86400);
}

TEST_F(Win32PlatformTest, ProcessServices) {
  // The file the profile API writes for a name without folder.
  if (WritePrivateProfileStringA("s", "k", "v", "tavirex_test.ini")) {
    const std::string ini = platform_.ProfileFilePath("tavirex_test.ini");
    EXPECT_TRUE(platform_.FileExists(ini)) << ini;
    DeleteFileA(ini.c_str());
  }

  char exe[MAX_PATH];
  std::string exe_path(exe, GetModuleFileNameA(nullptr, exe, sizeof(exe)));
  EXPECT_EQ(platform_.ModuleFolder(), exe_path.substr(0, exe_path.rfind('\\')));

  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  const std::string folder = temp_.MakeFolder("Ω 東京");
  platform_.SetCurrentDirectory(folder);
  wchar_t current[MAX_PATH];
  const std::string now_current =
      Utf8FromWide(std::wstring_view(current, GetCurrentDirectoryW(MAX_PATH, current)));
  EXPECT_TRUE(EqualsIgnoreCaseAscii(now_current, folder)) << now_current;
  // 53 for a missing last folder, 76 for a missing parent.
  EXPECT_EQ(ErrorNumberOf([&] { platform_.SetCurrentDirectory(temp_ / "missing"); }), 53);
  SetCurrentDirectoryW(previous);

  // Failures come back as the shell's codes; nothing is started.
  EXPECT_EQ(platform_.ShellExecute(0, "open", temp_ / "missing.jpg", "", "", 0), 2);
  std::string orphan = temp_.Write("x.tavirexnoassoc", "x");
  EXPECT_EQ(platform_.ShellExecute(0, "open", orphan, "", "", 0), 31);
}

// The import through the real services, recorded: each copy is on disk
// before its export is deleted. The host INI may be missing in this prefix:
// its boxes are answered at once.
class RecordingPlatform final : public ForwardingPlatform, public ImageListView {
 public:
  RecordingPlatform(Platform& inner, std::string folder)
      : ForwardingPlatform(inner), prefix_(std::move(folder) + "\\") {}

  void CopyFile(const std::string& source, const std::string& destination) override {
    calls.push_back("copy " + Relative(source) + " " + Relative(destination));
    ForwardingPlatform::CopyFile(source, destination);
  }
  void FlushFile(const std::string& path) override {
    calls.push_back("flush " + Relative(path));
    ForwardingPlatform::FlushFile(path);
  }
  void DeleteFile(const std::string& path) override {
    calls.push_back("delete " + Relative(path));
    ForwardingPlatform::DeleteFile(path);
  }
  int MessageBox(const std::string&, int, const std::optional<std::string>&) override {
    return msgbox::kOk;
  }
  void ShowModal(FrmImageFiles&) override {}
  void SetWaitCursor(bool) override {}

  std::vector<std::string> calls;

 private:
  std::string Relative(const std::string& path) const { return path.substr(prefix_.size()); }
  std::string prefix_;
};

TEST_F(Win32PlatformTest, ImportFlushesEachCopyBeforeDeletingTheExport) {
  temp_.MakeFolder("store");
  temp_.MakeFolder("drop");
  temp_.Write("drop\\4711_a.jpg", "a");
  temp_.Write("drop\\4711_Ωμέγα 東京.jpg", "b");
  const std::vector<std::string> listing = platform_.FolderFileNames(temp_ / "drop");
  RecordingPlatform recorder(platform_, temp_.path());
  HostModule module(recorder);
  ClsTavirex object(module, recorder);
  object.props().ExamRecNum = 1042;
  ImportDropFolder(object, temp_ / "drop", temp_ / "store");

  std::vector<std::string> expected;
  for (const std::string& name : listing) {
    const std::string stored = "store\\4711_1042_" + name.substr(5);
    expected.push_back("copy drop\\" + name + " " + stored);
    expected.push_back("flush " + stored);
    expected.push_back("delete drop\\" + name);
  }
  EXPECT_EQ(recorder.calls, expected);
  EXPECT_EQ(temp_.Read("store\\4711_1042_Ωμέγα 東京.jpg"), "b");
}

// A stand-in for the host's component, registered in this process only.
class FakeServerConnection final : public IDispatch {
 public:
  static inline std::string received;
  static inline LONG alive = 0;

  FakeServerConnection() { ++alive; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG refs = --refs_;
    if (refs == 0) {
      --alive;
      delete this;
    }
    return refs;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* ids) override {
    if (lstrcmpiW(names[0], L"OpenServer") != 0) return DISP_E_UNKNOWNNAME;
    ids[0] = 7;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT*, EXCEPINFO* exception, UINT*) override {
    if (id != 7 || flags != DISPATCH_METHOD || parameters->cArgs != 1 ||
        parameters->rgvarg[0].vt != VT_BSTR) {
      return DISP_E_TYPEMISMATCH;
    }
    received = Utf8FromBstr(parameters->rgvarg[0].bstrVal);
    if (received == "unreachable") {
      *exception = {};
      exception->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 3001);
      exception->bstrDescription = SysAllocString(L"Server not reachable");
      return DISP_E_EXCEPTION;
    }
    return received == "broken" ? E_FAIL : S_OK;
  }

 private:
  LONG refs_ = 1;
};

class FakeFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
    auto* object = new FakeServerConnection;
    HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST_F(Win32PlatformTest, ConnectHostServerHandsTheNameToTheHostsComponent) {
  // The class the workstation names, registered by the test for this process.
  // {7A0C3E51-2B1D-4F6A-9C8E-3D5B1A2F4E60}
  constexpr CLSID kComponent = {
      0x7a0c3e51, 0x2b1d, 0x4f6a, {0x9c, 0x8e, 0x3d, 0x5b, 0x1a, 0x2f, 0x4e, 0x60}};
  const std::string component = "{7A0C3E51-2B1D-4F6A-9C8E-3D5B1A2F4E60}";
  auto connect = [&](const std::string& server_name) {
    return platform_.ConnectHostServer(component, "OpenServer", server_name);
  };
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  EXPECT_EQ(ErrorNumberOf([&] { connect("SQL1"); }), 429);
  EXPECT_EQ(ErrorNumberOf([&] { platform_.ConnectHostServer("Tavirex.NoSuchClass", "x", ""); }),
            429);

  FakeFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(kComponent, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                  &cookie),
            S_OK);
  {
    std::shared_ptr<void> connection = connect("SQL1\\PRAXO");
    EXPECT_EQ(FakeServerConnection::received, "SQL1\\PRAXO");
    EXPECT_EQ(FakeServerConnection::alive, 1);
  }
  EXPECT_EQ(FakeServerConnection::alive, 0);
  connect("");
  EXPECT_EQ(FakeServerConnection::received, "");
  EXPECT_EQ(ErrorNumberOf([&] { platform_.ConnectHostServer(component, "SetServerName", "x"); }),
            438);

  try {
    connect("unreachable");
    ADD_FAILURE() << "no failure";
  } catch (const VbError& failure) {
    EXPECT_EQ(failure.number(), 3001);
    EXPECT_EQ(failure.description(), "Server not reachable");
  }
  EXPECT_EQ(ErrorNumberOf([&] { connect("broken"); }), 440);
  EXPECT_EQ(FakeServerConnection::alive, 0);

  CoRevokeClassObject(cookie);
  CoUninitialize();
}

}  // namespace
}  // namespace tavirex
