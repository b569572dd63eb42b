// A COM client of tavirex.dll, run under wine64 after registration: the type
// library against the contract, every property, VB errors, and when the DLL
// may unload. "server-route": the start-up on a database-server route alone,
// in a process of its own since the start-up runs once.
//   com_test_host.exe <Windows path of the registered tavirex.dll> [server-route]
#include <algorithm>
#include <cwctype>

#include "com/vba_collection_h.h"
#include "host_support.h"

namespace {

using namespace host;

// One line per function of the table: DISPID, kind, name, then "->" for an
// [out, retval] last parameter and "?" for any other not plain [in].
std::vector<std::string> DumpFunctions(const std::vector<Function>& functions) {
  std::vector<std::string> lines;
  for (const Function& function : functions) {
    const char* kinds[] = {"", "call", "get", "", "put", "", "", "", "putref"};
    std::string line =
        std::to_string(function.id) + " " + kinds[function.kind] + " " + function.name;
    for (const Param& param : function.params) {
      const bool result =
          &param == &function.params.back() && param.flags == (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
      line += result ? " ->" : param.flags != PARAMFLAG_FIN ? " ?" : "";
    }
    lines.push_back(line);
  }
  return lines;
}

// The same lines from properties.def, each row's DISPID its row number. Types
// need no check: the server's accessors, generated from the same rows,
// compile only against the interface's own.
std::vector<std::string> DefinedFunctions() {
  using Kinds = std::vector<std::string>;
  const Kinds kGetOnly{"get # ->"}, kLetOnly{"put #"}, kGetLet{"get # ->", "put #"},
      kGetSet{"get # ->", "putref #"}, kFunction{"call # ->"}, kSub{"call #"};
  std::vector<std::string> lines;
  int id = 0;
  auto add = [&](const std::string& name, const Kinds& kinds) {
    ++id;
    for (std::string kind : kinds) {
      lines.push_back(std::to_string(id) + " " + kind.replace(kind.find('#'), 1, name));
    }
  };
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) add(#Name, k##Access);
#define TAVIREX_CONSTANT(Name, Kind, Value) add(#Name, kGetOnly);
#define TAVIREX_OPERATION(Name, Form) add(#Name, k##Form);
#include "plugin/properties.def"
  return lines;
}

WORD TypeFlags(ITypeInfo* info, TYPEKIND kind) {
  TYPEATTR* attributes = nullptr;
  if (info == nullptr || FAILED(info->GetTypeAttr(&attributes))) return 0;
  const WORD flags = attributes->typekind == kind ? attributes->wTypeFlags : 0;
  info->ReleaseTypeAttr(attributes);
  return flags;
}

void TypeLibrary(IDispatch* dispatch) {
  ITypeInfo *info = nullptr, *table = nullptr;
  dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
  const WORD dual_hidden = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN;
  Check((TypeFlags(info, TKIND_DISPATCH) & dual_hidden) == dual_hidden,
        "_clsTavirex is dual and hidden");
  const std::vector<std::string> dumped = DumpFunctions(FunctionsOf(dispatch, &table));
  Check(TypeFlags(table, TKIND_INTERFACE) & TYPEFLAG_FOLEAUTOMATION,
        "its function table is OLE Automation compatible");
  const std::vector<std::string> contract = DefinedFunctions();
  const auto [have, want] =
      std::mismatch(dumped.begin(), dumped.end(), contract.begin(), contract.end());
  Check(have == dumped.end() && want == contract.end(),
        "the function table in the contract's order: " + (have != dumped.end() ? *have : "end") +
            ", expected " + (want != contract.end() ? *want : "end"));
  if (table != nullptr) table->Release();
  ITypeLib* library = nullptr;
  UINT index = 0;
  if (info != nullptr && SUCCEEDED(info->GetContainingTypeLib(&library, &index))) {
    ITypeInfo* class_info = nullptr;
    library->GetTypeInfoOfGuid(CLSID_clsTavirex, &class_info);
    Check(TypeFlags(class_info, TKIND_COCLASS) & TYPEFLAG_FCANCREATE, "clsTavirex is creatable");
    if (class_info != nullptr) class_info->Release();
    TLIBATTR* version = nullptr;
    library->GetLibAttr(&version);
    Check(version->wMajorVerNum == 1 && version->wMinorVerNum == 0, "type library version 1.0");
    library->ReleaseTLibAttr(version);
    // The enumeration hosts see in their object browsers.
    ITypeInfo* eye = nullptr;
    MEMBERID member = 0;
    USHORT found = 1;
    wchar_t eye_name[] = L"EyeSide";
    library->FindName(eye_name, 0, &eye, &member, &found);
    std::string values;
    VARDESC* value = nullptr;
    for (UINT i = 0; found == 1 && SUCCEEDED(eye->GetVarDesc(i, &value)); ++i) {
      Bstr name;
      eye->GetDocumentation(value->memid, name.out(), nullptr, nullptr, nullptr);
      values += name.text() + "=" + std::to_string(V_I4(value->lpvarValue)) + " ";
      eye->ReleaseVarDesc(value);
    }
    CheckEqual(values, "RightOD=0 LeftOS=1 BothOU=2 ", "EyeSide's values");
    if (found == 1) eye->Release();
    library->Release();
  }
  if (info != nullptr) info->Release();
}

// Every property with a Get and a Let or Set, from the type library: each Let
// through the function table a value no other gets (the caller's variable
// untouched), each Get back through IDispatch by its name in lower case; then
// each Let through IDispatch as a script passes a variable, of a NULL string,
// zero or Nothing, each Get back through the function table.

void PropertySweep(_clsTavirex* object, IDispatch* dispatch) {
  const std::vector<Function> functions = FunctionsOf(dispatch);
  struct Property {
    const Function* get;
    const Function* put;
    VARIANT value;
  };
  std::vector<Property> properties;
  for (const Function& get : functions) {
    const Function* put = Find(functions, get.id, INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF);
    if (get.kind == INVOKE_PROPERTYGET && put != nullptr) properties.push_back({&get, put, {}});
  }

  std::vector<CountedObject> hosts(properties.size());
  for (std::size_t i = 0; i < properties.size(); ++i) {
    const std::string& name = properties[i].get->name;
    const Param& param = properties[i].put->params[0];
    // Text in Greek, Polish, Japanese, a surrogate pair and a lone surrogate;
    // a number also as the bits of a boolean, which are kept whatever they are.
    const std::wstring text = Wide(name) + L" Ωε łódź 東京 😀 " + L"\xDC00";
    VARIANT& value = properties[i].value =
        Variant(param.base, param.base == VT_BSTR       ? Bits(SysAllocString(text.c_str()))
                            : param.base == VT_DISPATCH ? Bits(&hosts[i])
                                                        : 100003 * i + 2);
    const VARIANT before = value;
    const std::wstring before_text = Show(value);
    const bool by_ref = param.vt == VT_PTR;
    CheckHr(CallTable(object, properties[i].put->offset,
                      {by_ref ? Bits(&V_BSTR(&value)) : V_UI8(&value)}),
            S_OK, name + ": Let through the function table");
    Check(V_UI8(&value) == V_UI8(&before) && Show(value) == before_text,
          name + ": the caller's variable after the Let");
  }
  for (std::size_t i = 0; i < properties.size(); ++i) {
    const Property& property = properties[i];
    std::wstring lower = Wide(property.get->name);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    const DISPID id = IdOf(dispatch, lower.c_str());
    VARIANT got;
    HRESULT hr = Invoke(dispatch, id, DISPATCH_PROPERTYGET, {}, &got);
    Check(hr == S_OK && id == property.get->id && Show(got) == Show(property.value),
          property.get->name + ": Get through IDispatch: " + Hex(hr) + " " + Narrow(Show(got)) +
              ", expected " + Narrow(Show(property.value)));
    VariantClear(&got);
    const bool object_field = V_VT(&property.value) == VT_DISPATCH;
    Check(hosts[i].references() == (object_field ? 2 : 1),
          property.get->name + " holds one reference");
  }

  for (std::size_t i = 0; i < properties.size(); ++i) {
    const Property& property = properties[i];
    VARIANT variable = Variant(V_VT(&property.value)), got = variable;
    const VARIANT reference = Variant(VT_BYREF | VT_VARIANT, Bits(&variable));
    const bool set = property.put->kind == INVOKE_PROPERTYPUTREF;
    CheckHr(Invoke(dispatch, property.get->id, set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT,
                   {reference}, nullptr),
            S_OK, property.get->name + ": Let of a NULL string, zero or Nothing through IDispatch");
    Check(V_VT(&variable) == V_VT(&got) && V_UI8(&variable) == 0,
          property.get->name + ": the script's variable after the Let");
    HRESULT hr = CallTable(object, property.get->offset, {Bits(&V_BSTR(&got))});
    Check(hr == S_OK && Show(got) == (V_VT(&got) == VT_BSTR ? L"\"\"" : Show(variable)),
          property.get->name + ": Get through the function table: " + Hex(hr) + " " +
              Narrow(Show(got)));
    VariantClear(&got);
    if (V_VT(&property.value) == VT_BSTR) VariantClear(&properties[i].value);
    Check(hosts[i].references() == 1, property.get->name + " gave its object back");
  }
}

// A failure reaches the host as VB's error number in an HRESULT with error
// information, or in the EXCEPINFO through IDispatch.

void VbErrors(_clsTavirex* object, IDispatch* dispatch) {
  VARIANT null_name = Variant(VT_NULL);
  Bstr store(L"C:\\store"), result, description, source;
  BSTR folder = store.value;
  CheckHr(object->ParseFileName(&null_name, &folder, result.out()), HRESULT(0x800A005E),
          "ParseFileName(Null) through the function table");
  IErrorInfo* error = nullptr;
  CheckHr(GetErrorInfo(0, &error), S_OK, "its error information");
  if (error != nullptr) {
    error->GetDescription(description.out());
    error->GetSource(source.out());
    error->Release();
  }
  CheckEqual(description.text() + "|" + source.text(), "Invalid use of Null|Tavirex.clsTavirex",
             "its description and source");
  ISupportErrorInfo* supports = nullptr;
  object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports));
  Check(supports != nullptr && supports->InterfaceSupportsErrorInfo(IID__clsTavirex) == S_OK,
        "ISupportErrorInfo for _clsTavirex");
  if (supports != nullptr) supports->Release();

  CheckEqual(ParseNullByName(dispatch), kInvalidUseOfNull, "ParseFileName(Null) through IDispatch");
}

// DeviceNames as an early-bound client calls its _Collection: by the VB
// runtime's DISPIDs (Item 0, Add 1, Count 2, Remove 3), never by name.
void CollectionByDispid(_clsTavirex* object) {
  IDispatch* names = nullptr;
  _Collection* collection = nullptr;
  object->get_DeviceNames(&names);
  if (names != nullptr)
    names->QueryInterface(IID__Collection, reinterpret_cast<void**>(&collection));
  if (names != nullptr) names->Release();
  if (collection == nullptr) return Check(false, "DeviceNames as a _Collection");
  Bstr added(L"added");
  const VARIANT sixteen = Variant(VT_I4, 16);
  const std::pair<DISPID, std::vector<VARIANT>> kCalls[] = {
      {2, {}}, {0, {sixteen}}, {3, {Variant(VT_I4, 1)}}, {1, {Variant(VT_BSTR, Bits(added.value))}},
      {2, {}}, {0, {sixteen}}, {DISPID_NEWENUM, {}}};
  std::vector<std::string> results;
  for (const auto& [id, arguments] : kCalls) {
    VARIANT result;
    const HRESULT hr =
        Invoke(collection, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, arguments, &result);
    results.push_back(FAILED(hr)                    ? Hex(hr)
                      : V_VT(&result) == VT_UNKNOWN ? "object"
                                                    : Narrow(Show(result)));
    VariantClear(&result);
  }
  CheckEqual(Join(results), "16|\"Review iPedra\"|vt 0|vt 0|16|\"added\"|object",
             "_Collection by its DISPIDs");
  collection->Release();
}

// DllCanUnloadNow counts every live object and every lock.
void Unloading(const std::wstring& dll_path) {
  HMODULE dll = LoadLibraryW(dll_path.c_str());
  auto get_class_object = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  if (get_class_object == nullptr) return Check(false, "DllGetClassObject exported");
  CheckHr(CanUnloadNow(), S_OK, "DllCanUnloadNow with nothing alive");
  IClassFactory* factory = nullptr;
  CheckHr(get_class_object(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
          CLASS_E_CLASSNOTAVAILABLE, "a class object of an unknown class");
  get_class_object(CLSID_clsTavirex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (factory == nullptr) return Check(false, "a class object");
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with a class object alive");
  factory->LockServer(TRUE);
  factory->Release();
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow while locked");
  get_class_object(CLSID_clsTavirex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  _clsTavirex* object = nullptr;
  CheckHr(factory->CreateInstance(factory, IID_IUnknown, reinterpret_cast<void**>(&object)),
          CLASS_E_NOAGGREGATION, "no aggregation");
  factory->CreateInstance(nullptr, IID__clsTavirex, reinterpret_cast<void**>(&object));
  factory->Release();
  if (object == nullptr) return Check(false, "an object from the class object");
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with an object alive");
  // The collection as a host calls it whose variable is As Collection.
  IDispatch* names = nullptr;
  _Collection* collection = nullptr;
  IUnknown* enumerator = nullptr;
  IEnumVARIANT* items = nullptr;
  object->get_DeviceNames(&names);
  object->Release();
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with a collection alive");
  if (names != nullptr)
    names->QueryInterface(IID__Collection, reinterpret_cast<void**>(&collection));
  if (names != nullptr) names->Release();
  LONG count = 0;
  if (collection != nullptr && SUCCEEDED(collection->Count(&count)))
    collection->_NewEnum(&enumerator);
  if (collection != nullptr) collection->Release();
  if (enumerator != nullptr)
    enumerator->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
  VARIANT all[20];
  ULONG fetched = 0;
  if (items != nullptr) items->Next(20, all, &fetched);
  for (ULONG i = 0; i < fetched; ++i) VariantClear(&all[i]);
  if (items != nullptr) items->Release();
  Check(count == 16 && fetched == 16, "_Collection's Count and enumerator: 16 names");
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with an enumerator alive");
  if (enumerator != nullptr) enumerator->Release();
  CheckHr(CanUnloadNow(), S_OK, "DllCanUnloadNow with everything released");
  FreeLibrary(dll);
}

// A database-server route on a workstation that names no server-connection
// component: the start-up shows nothing and records nothing.
void ServerRouteStartUp(Watcher& watcher, const std::wstring& dll_path) {
  WriteWindowsIni("praxo32.ini",
                  {"[System]", "PgmsDir=C:\\TavirexHost", "DataDir=C:\\TavirexHost\\Data",
                   "[ADOConnection]", "ConnectThru=SQL", "DataSource=PRAXO-SRV"});
  _clsTavirex* object = CreateTavirex();
  if (object == nullptr) return;
  object->Release();
  watcher.CheckNothingShown("start-up on the server route");
  const std::wstring error_file =
      dll_path.substr(0, dll_path.rfind(L'\\')) + L"\\PX_IF_Tavirex.err";
  Check(GetFileAttributesW(error_file.c_str()) == INVALID_FILE_ATTRIBUTES, "no error entry");
}

}  // namespace

// What Explorer's file properties and self-registering setups read.
void VersionResource(const std::wstring& dll_path) {
  std::vector<char> data(GetFileVersionInfoSizeW(dll_path.c_str(), nullptr));
  const bool read =
      !data.empty() && GetFileVersionInfoW(dll_path.c_str(), 0, data.size(), data.data());
  std::string found;
  for (const wchar_t* name :
       {L"CompanyName", L"ProductName", L"FileVersion", L"OriginalFilename", L"OLESelfRegister"}) {
    void* value = nullptr;
    UINT length = 0;
    const bool has =
        read &&
        VerQueryValueW(data.data(), (L"\\StringFileInfo\\040904B0\\" + std::wstring(name)).c_str(),
                       &value, &length);
    found += Narrow(name) + "=" +
             (!has          ? "<none>"
              : length == 0 ? ""
                            : Narrow(static_cast<const wchar_t*>(value))) +
             " ";
  }
  CheckEqual(found,
             "CompanyName=Tavirex ProductName=Tavirex FileVersion=" TAVIREX_EXPECTED_VERSION
             " OriginalFilename=tavirex.dll OLESelfRegister= ",
             "the version resource");
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: com_test_host <path of tavirex.dll> [server-route]\n");
    return 2;
  }
  const std::wstring dll_path = Wide(argv[1]);
  StartHost();
  {
    Watcher watcher;
    if (argc > 2 && std::string(argv[2]) == "server-route") {
      ServerRouteStartUp(watcher, dll_path);
    } else {
      WriteWindowsIni("praxo32.ini",
                      {"[System]", "PgmsDir=C:\\TavirexHost", "DataDir=C:\\TavirexHost\\Data"});
      if (_clsTavirex* object = CreateTavirex()) {
        IDispatch* dispatch = DispatchOf(object);
        TypeLibrary(dispatch);
        PropertySweep(object, dispatch);
        VbErrors(object, dispatch);
        CollectionByDispid(object);
        dispatch->Release();
        object->Release();
      }
      Unloading(dll_path);
      VersionResource(dll_path);
      watcher.CheckNothingShown("the calls");
    }
  }
  return FinishHost();
}
