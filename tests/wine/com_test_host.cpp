// A COM client of tavirex.dll, run under wine64 after registration: it
// creates Tavirex.clsTavirex by ProgID, calls it through the function table
// and through IDispatch, answers the message boxes the plug-in raises and
// checks them, compares the type library with the interface contract, and
// checks when the DLL may unload; with "server-route", only the start-up on a
// database-server route.
//   com_test_host.exe <Windows path of the registered tavirex.dll> [server-route]
// Writes praxo32.ini and PXEquip.ini into the Windows folder as it goes.
// Prints "N passed, N failed"; exits 1 on any failure.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com/tavirex_h.h"
#include "com/vba_collection_h.h"

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool condition, const std::string& what) {
  if (condition) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

template <typename T>
void CheckEqual(const T& actual, const T& expected, const std::string& what) {
  Check(actual == expected, what);
}

void CheckHr(HRESULT actual, HRESULT expected, const std::string& what) {
  char text[64];
  std::snprintf(text, sizeof text, " (0x%08lX, expected 0x%08lX)",
                static_cast<unsigned long>(actual), static_cast<unsigned long>(expected));
  Check(actual == expected, what + text);
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* out() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }
  BSTR get() const { return value_; }
  std::string text() const { return Narrow(value_); }

 private:
  BSTR value_ = nullptr;
};

void WriteWindowsFile(const char* name, const std::string& content) {
  char folder[MAX_PATH];
  GetWindowsDirectoryA(folder, MAX_PATH);
  std::ofstream file(std::string(folder) + "\\" + name, std::ios::binary | std::ios::trunc);
  file << content;
}

// ---------------------------------------------------------------------------
// Message boxes: a watcher thread finds every dialog box of this process,
// records title, text, buttons and icon, and presses its first button.

struct Box {
  std::string title;
  std::string text;
  std::set<int> buttons;
  bool critical = false;
};

bool operator==(const Box& a, const Box& b) {
  return a.title == b.title && a.text == b.text && a.buttons == b.buttons &&
         a.critical == b.critical;
}

std::string Describe(const std::vector<Box>& boxes) {
  std::string result;
  for (const Box& box : boxes) {
    result.append(" [title \"").append(box.title).append("\" text \"").append(box.text);
    result.append("\" buttons");
    for (int id : box.buttons) result.append(" ").append(std::to_string(id));
    result.append(box.critical ? " critical]" : "]");
  }
  return result.empty() ? " none" : result;
}

class BoxWatcher {
 public:
  BoxWatcher() : thread_([this] { Run(); }) {}
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }

  // The boxes answered since the last call.
  std::vector<Box> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(seen_, {});
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM found) {
    char name[16] = {};
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetClassNameA(window, name, sizeof name) > 0 && std::string(name) == "#32770") {
      reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
  }

  static Box Read(HWND window) {
    Box box;
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    box.title = text;
    text[0] = '\0';
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    box.text = text;
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
      HWND button = GetDlgItem(window, id);
      if (button != nullptr && IsWindowVisible(button)) box.buttons.insert(id);
    }
    // The icon control is 0x14 on Windows and 0x440 in Wine.
    HICON hand = LoadIcon(nullptr, IDI_HAND);
    for (int id : {0x14, 0x440}) {
      HWND icon = GetDlgItem(window, id);
      if (icon != nullptr &&
          reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)) == hand) {
        box.critical = true;
      }
    }
    return box;
  }

  void Run() {
    while (!stop_) {
      std::vector<HWND> found;
      EnumWindows(&BoxWatcher::Collect, reinterpret_cast<LPARAM>(&found));
      for (HWND window : found) {
        Box box = Read(window);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          seen_.push_back(box);
        }
        int answer = box.buttons.empty() ? IDOK : *box.buttons.begin();
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, answer)));
        for (int i = 0; i < 250 && IsWindow(window); ++i) Sleep(20);
      }
      Sleep(20);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Box> seen_;
  std::thread thread_;
};

BoxWatcher* g_boxes = nullptr;

void CheckBoxes(const std::vector<Box>& expected, const std::string& what) {
  std::vector<Box> seen = g_boxes->Take();
  Check(seen == expected, what + ": boxes" + Describe(seen) + ", expected" + Describe(expected));
}

const char kIniMessage[] = "Unable to find or read the praxo32.ini file.";
const Box kModuleDbPathBox{"PXEquipIF TavirexIF Error", kIniMessage, {IDOK}, true};
const Box kPraxoPathBox{"", kIniMessage, {IDOK}, true};
const Box kPublicDbPathBox{"Tavirex", kIniMessage, {IDOK}, true};

// ---------------------------------------------------------------------------
// Late binding helpers.

CLSID TavirexClsid() {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(L"Tavirex.clsTavirex", &clsid);
  CheckHr(hr, S_OK, "CLSIDFromProgID(Tavirex.clsTavirex)");
  return clsid;
}

IDispatch* CreateByProgId() {
  IDispatch* object = nullptr;
  HRESULT hr = CoCreateInstance(TavirexClsid(), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&object));
  CheckHr(hr, S_OK, "CoCreateInstance");
  return object;
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  CheckHr(hr, S_OK, "GetIDsOfNames " + Narrow(name));
  return id;
}

// Invokes with arguments in call order; returns the HRESULT.
HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments,
               VARIANT* result, EXCEPINFO* exception = nullptr) {
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  DISPID put = DISPID_PROPERTYPUT;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO ignored{};
  UINT argument_error = 0;
  if (result != nullptr) VariantInit(result);
  HRESULT hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                              result, exception != nullptr ? exception : &ignored, &argument_error);
  if (exception == nullptr) {
    SysFreeString(ignored.bstrSource);
    SysFreeString(ignored.bstrDescription);
    SysFreeString(ignored.bstrHelpFile);
  }
  return hr;
}

std::string GetText(IDispatch* object, const wchar_t* name) {
  VARIANT result;
  HRESULT hr = Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result);
  CheckHr(hr, S_OK, "Invoke " + Narrow(name));
  std::string text = V_VT(&result) == VT_BSTR ? Narrow(V_BSTR(&result)) : "<not a string>";
  VariantClear(&result);
  return text;
}

// ---------------------------------------------------------------------------
// A host data object that shows how many references the plug-in holds.

class CountedObject final : public IDispatch {
 public:
  LONG references() const { return references_; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

 private:
  LONG references_ = 1;
};

// ---------------------------------------------------------------------------
// Start-up and host paths: which boxes come up, and when.

void StartUpAndHostPaths() {
  // No "ADOConnection" section: the file route, whose "DataDir" is missing;
  // "PgmsDir" is missing too.
  WriteWindowsFile("praxo32.ini", "[System]\r\nOther=1\r\n");
  IDispatch* first = CreateByProgId();
  CheckBoxes({kModuleDbPathBox, kPraxoPathBox}, "first object: start-up, then construction");
  IDispatch* second = CreateByProgId();
  CheckBoxes({kPraxoPathBox}, "second object: construction only");
  if (first == nullptr || second == nullptr) return;

  CheckEqual(GetText(first, L"GetPraxoDBPath"), std::string("-3"), "DataDir missing");
  CheckBoxes({kPublicDbPathBox}, "GetPraxoDBPath with DataDir missing");

  struct {
    const char* data_dir;
    const char* result;
  } const cases[] = {
      {"C:\\TavirexHost\\Data\\", "C:\\TavirexHost\\Data\\"},
      {"\\\\server\\share\\data", "\\\\server\\share\\data"},
      {"data", "-4"},
      {"\\data", "-4"},
  };
  for (const auto& c : cases) {
    WriteWindowsFile("praxo32.ini", std::string("[System]\r\nDataDir=") + c.data_dir + "\r\n");
    CheckEqual(GetText(second, L"GetPraxoDBPath"), std::string(c.result),
               std::string("GetPraxoDBPath for DataDir=") + c.data_dir);
    CheckBoxes({}, std::string("GetPraxoDBPath for DataDir=") + c.data_dir);
  }
  first->Release();
  second->Release();
  CheckBoxes({}, "releasing the objects");
}

// A database-server route on a workstation that names no server-connection
// component: the start-up shows nothing and records nothing.
void ServerRouteStartUp(const std::wstring& dll_path) {
  WriteWindowsFile("praxo32.ini",
                   "[System]\r\nPgmsDir=C:\\TavirexHost\r\nDataDir=C:\\TavirexHost\\Data\r\n"
                   "[ADOConnection]\r\nConnectThru=SQL\r\nDataSource=PRAXO-SRV\r\n");
  IDispatch* object = CreateByProgId();
  CheckBoxes({}, "start-up on the server route");
  if (object == nullptr) return;
  CheckEqual(GetText(object, L"GetPraxoDBPath"), std::string("C:\\TavirexHost\\Data"),
             "the object works");
  object->Release();
  const std::wstring error_file =
      dll_path.substr(0, dll_path.rfind(L'\\')) + L"\\PX_IF_Tavirex.err";
  Check(GetFileAttributesW(error_file.c_str()) == INVALID_FILE_ATTRIBUTES, "no error entry");
}

// ---------------------------------------------------------------------------
// The function table and IDispatch.

void FunctionTableAndDispatch() {
  WriteWindowsFile("praxo32.ini",
                   "[System]\r\nDataDir=C:\\TavirexHost\\Data\r\nPgmsDir=C:\\TavirexHost\r\n");
  IDispatch* dispatch = CreateByProgId();
  if (dispatch == nullptr) return;
  _clsTavirex* object = nullptr;
  CheckHr(dispatch->QueryInterface(IID__clsTavirex, reinterpret_cast<void**>(&object)), S_OK,
          "QueryInterface(_clsTavirex)");
  if (object == nullptr) return;

  // Booleans come back exactly as assigned, whatever the bits.
  VARIANT_BOOL flag = 5;
  VARIANT_BOOL read = 0;
  object->put_HaveKMData(&flag);
  object->get_HaveKMData(&read);
  CheckEqual<int>(read, 5, "HaveKMData assigned 5 reads 5");
  object->put_gblnShouldWriteToLog(5);
  object->get_gblnShouldWriteToLog(&read);
  CheckEqual<int>(read, 5, "gblnShouldWriteToLog assigned 5 reads 5");
  VARIANT result;
  CheckHr(Invoke(dispatch, L"HaveKMData", DISPATCH_PROPERTYGET, {}, &result), S_OK,
          "HaveKMData through IDispatch");
  Check(V_VT(&result) == VT_BOOL && V_BOOL(&result) == 5, "HaveKMData through IDispatch is 5");

  // Strings: NULL reads as "", and an unset string is an empty BSTR.
  Bstr text;
  object->put_CompanyName(nullptr);
  object->get_CompanyName(text.out());
  Check(text.get() != nullptr && SysStringLen(text.get()) == 0, "NULL assigned reads as \"\"");
  BSTR null_string = nullptr;
  object->put_PATIENTID(&null_string);
  object->get_PATIENTID(text.out());
  Check(text.get() != nullptr && SysStringLen(text.get()) == 0, "PATIENTID from NULL is \"\"");
  object->get_ExamDate(text.out());
  Check(text.get() != nullptr, "an unset string is not NULL");
  object->get_ConnectStringParams(text.out());
  CheckEqual(text.text(), std::string("me"), "ConnectStringParams through the table");

  // Object fields hold one reference while they hold the object.
  CountedObject host_object;
  CountedObject other_object;
  object->putref_mobjPatient(&host_object);
  CheckEqual(host_object.references(), 2L, "Set takes a reference");
  IDispatch* back = nullptr;
  object->get_mobjPatient(&back);
  Check(back == &host_object, "Get returns the object assigned");
  CheckEqual(host_object.references(), 3L, "Get adds a reference for the caller");
  back->Release();
  object->putref_mobjPatient(&host_object);
  CheckEqual(host_object.references(), 2L, "assigning the same object again");
  object->putref_mobjPatient(&other_object);
  CheckEqual(host_object.references(), 1L, "replacing releases the first object");
  object->putref_mobjPatient(nullptr);
  CheckEqual(other_object.references(), 1L, "Nothing releases the second object");
  object->get_mobjPatient(&back);
  Check(back == nullptr, "an empty field reads as Nothing");
  object->putref_mobjLXDataObject(&host_object);
  CheckEqual(host_object.references(), 2L, "mobjLXDataObject takes a reference");

  // Failures: VB's number as HRESULT, text and source through error info.
  LONG exam = 42;
  object->put_ExamRecNum(&exam);
  VARIANT name;
  V_VT(&name) = VT_BSTR;
  V_BSTR(&name) = SysAllocString(L"P1_A.jpg");
  Bstr store(L"C:\\store");
  BSTR store_path = store.get();
  CheckHr(object->ParseFileName(&name, &store_path, text.out()), S_OK, "ParseFileName");
  CheckEqual(text.text(), std::string("C:\\store\\P1_42_A.jpg"), "ParseFileName result");
  VariantClear(&name);
  V_VT(&name) = VT_NULL;
  CheckHr(object->ParseFileName(&name, &store_path, text.out()), HRESULT(0x800A005E),
          "ParseFileName(Null) through the table");
  IErrorInfo* error = nullptr;
  CheckHr(GetErrorInfo(0, &error), S_OK, "error info after a failure");
  if (error != nullptr) {
    Bstr description, source;
    error->GetDescription(description.out());
    error->GetSource(source.out());
    CheckEqual(description.text(), std::string("Invalid use of Null"), "error description");
    CheckEqual(source.text(), std::string("Tavirex.clsTavirex"), "error source");
    error->Release();
  }
  ISupportErrorInfo* supports = nullptr;
  CheckHr(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports)), S_OK,
          "ISupportErrorInfo");
  if (supports != nullptr) {
    CheckHr(supports->InterfaceSupportsErrorInfo(IID__clsTavirex), S_OK,
            "error info for _clsTavirex");
    supports->Release();
  }

  EXCEPINFO exception{};
  VARIANT null_name;
  V_VT(&null_name) = VT_NULL;
  VARIANT store_argument;
  V_VT(&store_argument) = VT_BSTR;
  V_BSTR(&store_argument) = store.get();
  CheckHr(Invoke(dispatch, L"ParseFileName", DISPATCH_METHOD, {null_name, store_argument}, &result,
                 &exception),
          DISP_E_EXCEPTION, "ParseFileName(Null) through IDispatch");
  CheckHr(exception.scode, HRESULT(0x800A005E), "EXCEPINFO scode");
  CheckEqual(Narrow(exception.bstrDescription), std::string("Invalid use of Null"),
             "EXCEPINFO description");
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);

  // A script passes a variable as a reference to a variant; by-reference
  // string parameters take it, and the caller's variable is not changed.
  VARIANT variable;
  V_VT(&variable) = VT_BSTR;
  V_BSTR(&variable) = SysAllocString(L"O'Brien");
  VARIANT reference;
  V_VT(&reference) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&reference) = &variable;
  CheckHr(Invoke(dispatch, L"fun_sFixString", DISPATCH_METHOD, {reference}, &result), S_OK,
          "fun_sFixString with a variant reference");
  Check(V_VT(&result) == VT_BSTR && Narrow(V_BSTR(&result)) == "O''Brien", "fun_sFixString");
  VariantClear(&result);
  CheckHr(Invoke(dispatch, L"lastname", DISPATCH_PROPERTYPUT, {reference}, nullptr), S_OK,
          "LastName Let with a variant reference, name in lower case");
  Check(V_VT(&variable) == VT_BSTR && Narrow(V_BSTR(&variable)) == "O'Brien",
        "the caller's variable is unchanged");
  CheckEqual(GetText(dispatch, L"LASTNAME"), std::string("O'Brien"), "LastName through IDispatch");
  VariantClear(&variable);

  // The collection through VBA's _Collection, as a host whose variable is
  // declared As Collection calls it: its function table and its IDispatch.
  IDispatch* names = nullptr;
  CheckHr(object->get_DeviceNames(&names), S_OK, "DeviceNames");
  _Collection* collection = nullptr;
  if (names != nullptr) {
    names->QueryInterface(IID__Collection, reinterpret_cast<void**>(&collection));
    names->Release();
  }
  Check(collection != nullptr, "DeviceNames answers for VBA's _Collection");
  if (collection != nullptr) {
    LONG count = 0;
    collection->Count(&count);
    CheckEqual(count, 16L, "sixteen device names");
    CheckEqual(IdOf(collection, L"Count"), DISPID(2), "_Collection's Count is DISPID 2");
    CheckHr(Invoke(collection, L"Count", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result), S_OK,
            "Count through _Collection's IDispatch");
    Check(V_VT(&result) == VT_I4 && V_I4(&result) == 16, "Count through _Collection's IDispatch");
    VARIANT index;
    V_VT(&index) = VT_I4;
    V_I4(&index) = 3;
    CheckHr(collection->Item(&index, &result), S_OK, "Item(3)");
    Check(V_VT(&result) == VT_BSTR && Narrow(V_BSTR(&result)) == "Capture Vessara", "Item(3)");
    VariantClear(&result);
    IUnknown* unknown = nullptr;
    collection->_NewEnum(&unknown);
    IEnumVARIANT* items = nullptr;
    if (unknown != nullptr) {
      unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
      unknown->Release();
    }
    if (items != nullptr) {
      VARIANT batch[20];
      ULONG fetched = 0;
      CheckHr(items->Next(20, batch, &fetched), S_FALSE, "Next past the end");
      CheckEqual(fetched, 16UL, "the enumerator yields sixteen names");
      for (ULONG i = 0; i < fetched; ++i) VariantClear(&batch[i]);
      items->Release();
    }
    collection->Release();
  }

  object->Release();
  dispatch->Release();
  CheckEqual(host_object.references(), 1L, "destroying the object releases its fields");
  CheckBoxes({}, "calls through the table and IDispatch");
}

// ---------------------------------------------------------------------------
// The type library against the interface contract.

// One line per function of the table: DISPID, invoke kind and name, then "->"
// when its last parameter is an [out, retval] result and "?" for any other
// parameter that is not plain [in].
std::vector<std::string> DumpFunctions(ITypeInfo* info) {
  std::vector<std::string> lines;
  TYPEATTR* attributes = nullptr;
  info->GetTypeAttr(&attributes);
  for (int i = 0; i < attributes->cFuncs; ++i) {
    FUNCDESC* function = nullptr;
    info->GetFuncDesc(i, &function);
    Bstr name;
    info->GetDocumentation(function->memid, name.out(), nullptr, nullptr, nullptr);
    const char* kind = function->invkind == INVOKE_PROPERTYGET      ? "get"
                       : function->invkind == INVOKE_PROPERTYPUT    ? "put"
                       : function->invkind == INVOKE_PROPERTYPUTREF ? "putref"
                                                                    : "call";
    std::string line = std::to_string(function->memid) + " " + kind + " " + name.text();
    for (int p = 0; p < function->cParams; ++p) {
      USHORT flags = function->lprgelemdescParam[p].paramdesc.wParamFlags;
      if (p + 1 == function->cParams && flags == (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)) {
        line += " ->";
      } else if (flags != PARAMFLAG_FIN) {
        line += " ?";
      }
    }
    lines.push_back(line);
    info->ReleaseFuncDesc(function);
  }
  info->ReleaseTypeAttr(attributes);
  return lines;
}

// The same lines from properties.def, the server's list of its members: the
// table holds them in that order, each row's DISPID its row number. Value
// types and how they are passed need no check here: the server's accessors,
// generated from the same rows, compile only against the interface's own.
std::vector<std::string> DefinedFunctions() {
  struct Function {
    const char* kind;
    bool result;
  };
  using Functions = std::vector<Function>;
  const Functions kGetOnly{{"get", true}}, kLetOnly{{"put", false}},
      kGetLet{{"get", true}, {"put", false}}, kGetSet{{"get", true}, {"putref", false}},
      kFunction{{"call", true}}, kSub{{"call", false}};
  std::vector<std::string> lines;
  int id = 0;
  auto add = [&](const char* name, const Functions& functions) {
    ++id;
    for (const Function& function : functions) {
      lines.push_back(std::to_string(id) + " " + function.kind + " " + name +
                      (function.result ? " ->" : ""));
    }
  };
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) add(#Name, k##Access);
#define TAVIREX_CONSTANT(Name, Kind, Value) add(#Name, kGetOnly);
#define TAVIREX_OPERATION(Name, Form) add(#Name, k##Form);
#include "interface/properties.def"
  return lines;
}

void TypeLibrary(const std::wstring& dll_path) {
  ITypeLib* library = nullptr;
  CheckHr(LoadTypeLibEx(dll_path.c_str(), REGKIND_NONE, &library), S_OK,
          "type library embedded in the DLL");
  if (library == nullptr) return;
  TLIBATTR* library_attributes = nullptr;
  library->GetLibAttr(&library_attributes);
  Check(library_attributes->wMajorVerNum == 1 && library_attributes->wMinorVerNum == 0,
        "type library version 1.0");
  library->ReleaseTLibAttr(library_attributes);
  Bstr library_name;
  library->GetDocumentation(-1, library_name.out(), nullptr, nullptr, nullptr);
  CheckEqual(library_name.text(), std::string("Tavirex"), "library name");

  // The interface: dual, so its function table part comes through the
  // dispatch part's reference -1.
  ITypeInfo* dispatch_info = nullptr;
  CheckHr(library->GetTypeInfoOfGuid(IID__clsTavirex, &dispatch_info), S_OK, "_clsTavirex");
  if (dispatch_info != nullptr) {
    TYPEATTR* attributes = nullptr;
    dispatch_info->GetTypeAttr(&attributes);
    WORD wanted = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN;
    Check((attributes->wTypeFlags & wanted) == wanted, "_clsTavirex is dual and hidden");
    dispatch_info->ReleaseTypeAttr(attributes);
    HREFTYPE table_reference = 0;
    ITypeInfo* table_info = nullptr;
    dispatch_info->GetRefTypeOfImplType(-1, &table_reference);
    dispatch_info->GetRefTypeInfo(table_reference, &table_info);
    if (table_info != nullptr) {
      table_info->GetTypeAttr(&attributes);
      Check(attributes->typekind == TKIND_INTERFACE &&
                (attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) != 0,
            "its function table is OLE Automation compatible");
      table_info->ReleaseTypeAttr(attributes);
      std::vector<std::string> dumped = DumpFunctions(table_info);
      std::vector<std::string> contract = DefinedFunctions();
      CheckEqual(dumped.size(), contract.size(), "number of functions in the function table");
      for (std::size_t i = 0; i < dumped.size() && i < contract.size(); ++i) {
        if (dumped[i] != contract[i]) {
          Check(false,
                "function " + std::to_string(i) + ": " + dumped[i] + ", expected " + contract[i]);
          break;
        }
      }
      Check(dumped == contract, "the function table in interface order");
      table_info->Release();
    }
    dispatch_info->Release();
  }

  // The class: creatable, with _clsTavirex as its default interface.
  ITypeInfo* class_info = nullptr;
  CheckHr(library->GetTypeInfoOfGuid(TavirexClsid(), &class_info), S_OK,
          "the class of the ProgID is in the type library");
  if (class_info != nullptr) {
    TYPEATTR* attributes = nullptr;
    class_info->GetTypeAttr(&attributes);
    Check(attributes->typekind == TKIND_COCLASS && (attributes->wTypeFlags & TYPEFLAG_FCANCREATE),
          "creatable coclass");
    class_info->ReleaseTypeAttr(attributes);
    Bstr name;
    class_info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr);
    CheckEqual(name.text(), std::string("clsTavirex"), "class name");
    int flags = 0;
    HREFTYPE reference = 0;
    ITypeInfo* interface_info = nullptr;
    class_info->GetImplTypeFlags(0, &flags);
    class_info->GetRefTypeOfImplType(0, &reference);
    class_info->GetRefTypeInfo(reference, &interface_info);
    Check((flags & IMPLTYPEFLAG_FDEFAULT) != 0, "default interface");
    if (interface_info != nullptr) {
      interface_info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr);
      CheckEqual(name.text(), std::string("_clsTavirex"), "the default interface is _clsTavirex");
      interface_info->Release();
    }
    class_info->Release();
  }

  // The enumeration.
  ITypeInfo* enum_info = nullptr;
  MEMBERID member = 0;
  USHORT found = 1;
  wchar_t enum_name[] = L"EyeSide";
  library->FindName(enum_name, 0, &enum_info, &member, &found);
  Check(found == 1 && enum_info != nullptr, "EyeSide in the type library");
  if (found == 1 && enum_info != nullptr) {
    std::string values;
    TYPEATTR* attributes = nullptr;
    enum_info->GetTypeAttr(&attributes);
    for (int i = 0; i < attributes->cVars; ++i) {
      VARDESC* variable = nullptr;
      enum_info->GetVarDesc(i, &variable);
      Bstr name;
      enum_info->GetDocumentation(variable->memid, name.out(), nullptr, nullptr, nullptr);
      values += name.text() + "=" + std::to_string(V_I4(variable->lpvarValue)) + " ";
      enum_info->ReleaseVarDesc(variable);
    }
    enum_info->ReleaseTypeAttr(attributes);
    CheckEqual(values, std::string("RightOD=0 LeftOS=1 BothOU=2 "), "EyeSide values");
    enum_info->Release();
  }
  library->Release();
}

// The version resource names the product, its maker and its version.
void VersionInformation(const std::wstring& dll_path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(dll_path.c_str(), &ignored);
  Check(size > 0, "version resource present");
  if (size == 0) return;
  std::vector<char> data(size);
  GetFileVersionInfoW(dll_path.c_str(), 0, size, data.data());
  auto text = [&](const wchar_t* name) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), path.c_str(), &value, &length) || value == nullptr)
      return std::string();
    return Narrow(static_cast<const wchar_t*>(value));
  };
  CheckEqual(text(L"ProductName"), std::string("Tavirex"), "ProductName");
  CheckEqual(text(L"CompanyName"), std::string("Tavirex"), "CompanyName");
  CheckEqual(text(L"FileVersion"), std::string(TAVIREX_EXPECTED_VERSION), "FileVersion");
  Check(!text(L"FileDescription").empty(), "FileDescription");
}

// ---------------------------------------------------------------------------
// DllCanUnloadNow counts every live object and every lock.

void Unloading(const std::wstring& dll_path) {
  HMODULE dll = LoadLibraryW(dll_path.c_str());
  Check(dll != nullptr, "LoadLibrary of the DLL");
  if (dll == nullptr) return;
  using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();
  auto get_class_object = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  auto can_unload = reinterpret_cast<CanUnloadNowFunction>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  Check(get_class_object != nullptr && can_unload != nullptr, "entry points exported");
  if (get_class_object == nullptr || can_unload == nullptr) return;

  CheckHr(can_unload(), S_OK, "nothing alive after the earlier calls");
  IClassFactory* factory = nullptr;
  CheckHr(get_class_object(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
          CLASS_E_CLASSNOTAVAILABLE, "an unknown class");
  CheckHr(get_class_object(CLSID_clsTavirex, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
          S_OK, "DllGetClassObject");
  if (factory == nullptr) return;
  CheckHr(can_unload(), S_FALSE, "a class object alive");
  factory->LockServer(TRUE);
  factory->Release();
  CheckHr(can_unload(), S_FALSE, "locked");
  get_class_object(CLSID_clsTavirex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  IUnknown* outer = factory;
  IDispatch* object = nullptr;
  CheckHr(factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)),
          CLASS_E_NOAGGREGATION, "no aggregation");
  CheckHr(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK,
          "CreateInstance");
  factory->Release();
  CheckHr(can_unload(), S_FALSE, "an object alive");
  if (object == nullptr) return;
  VARIANT names;
  Invoke(object, L"DeviceNames", DISPATCH_PROPERTYGET, {}, &names);
  object->Release();
  CheckHr(can_unload(), S_FALSE, "a collection alive");
  ITavirexCollection* collection = nullptr;
  IUnknown* enumerator = nullptr;
  if (V_VT(&names) == VT_DISPATCH) {
    V_DISPATCH(&names)->QueryInterface(IID_ITavirexCollection,
                                       reinterpret_cast<void**>(&collection));
  }
  if (collection != nullptr) {
    collection->_NewEnum(&enumerator);
    collection->Release();
  }
  VariantClear(&names);
  Check(enumerator != nullptr, "an enumerator of the collection");
  CheckHr(can_unload(), S_FALSE, "an enumerator alive");
  if (enumerator != nullptr) enumerator->Release();
  CheckHr(can_unload(), S_OK, "everything released");
  FreeLibrary(dll);
  CheckBoxes({}, "unloading");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: com_test_host <path of tavirex.dll>\n");
    return 2;
  }
  std::wstring dll_path(MAX_PATH, L'\0');
  dll_path.resize(MultiByteToWideChar(CP_ACP, 0, argv[1], -1, dll_path.data(), MAX_PATH) - 1);
  CoInitialize(nullptr);
  {
    BoxWatcher watcher;
    g_boxes = &watcher;
    if (argc > 2 && std::string(argv[2]) == "server-route") {
      ServerRouteStartUp(dll_path);  // a process of its own: the start-up runs once
    } else {
      StartUpAndHostPaths();  // first: the start-up routine runs before the first object
      FunctionTableAndDispatch();
      TypeLibrary(dll_path);
      VersionInformation(dll_path);
      Unloading(dll_path);
    }
    g_boxes = nullptr;
  }
  CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
