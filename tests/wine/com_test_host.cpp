// A COM client of tavirex.dll, run under wine64 after registration: the type
// library against the interface contract, every property through the function
// table and through IDispatch, VB errors as a COM client receives them, the
// collection as VB's _Collection, and when the DLL may unload. With
// "server-route", only the start-up on a database-server route, in a process
// of its own since the start-up runs once.
//   com_test_host.exe <Windows path of the registered tavirex.dll> [server-route]
#include <cwctype>

#include "com/vba_collection_h.h"
#include "host_support.h"

namespace {

using namespace host;

// ---------------------------------------------------------------------------
// The type library against the interface contract.

// One line per function of the table: DISPID, invoke kind and name, then "->"
// when its last parameter is an [out, retval] result and "?" for any other
// parameter that is not plain [in].
std::vector<std::string> DumpFunctions(const Members& members) {
  std::vector<std::string> lines;
  for (const Function& function : members.functions()) {
    const INVOKEKIND kind = function.kind;
    std::string line = std::to_string(function.id) + " " +
                       (kind == INVOKE_PROPERTYGET      ? "get "
                        : kind == INVOKE_PROPERTYPUT    ? "put "
                        : kind == INVOKE_PROPERTYPUTREF ? "putref "
                                                        : "call ") +
                       function.name;
    for (const ELEMDESC& param : function.params) {
      const USHORT flags = param.paramdesc.wParamFlags;
      if (&param == &function.params.back() && flags == (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)) {
        line += " ->";
      } else if (flags != PARAMFLAG_FIN) {
        line += " ?";
      }
    }
    lines.push_back(line);
  }
  return lines;
}

// The same lines from properties.def, the server's list of its members in
// table order, each row's DISPID its row number. Value types and how they are
// passed need no check: the server's accessors, generated from the same rows,
// compile only against the interface's own.
std::vector<std::string> DefinedFunctions() {
  using Kinds = std::vector<std::string>;
  const Kinds kGetOnly{"get ->"}, kLetOnly{"put"}, kGetLet{"get ->", "put"},
      kGetSet{"get ->", "putref"}, kFunction{"call ->"}, kSub{"call"};
  std::vector<std::string> lines;
  int id = 0;
  auto add = [&](const std::string& name, const Kinds& kinds) {
    ++id;
    for (const std::string& kind : kinds) {
      const std::size_t space = kind.find(' ');
      lines.push_back(std::to_string(id) + " " + kind.substr(0, space) + " " + name +
                      (space == std::string::npos ? "" : kind.substr(space)));
    }
  };
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) add(#Name, k##Access);
#define TAVIREX_CONSTANT(Name, Kind, Value) add(#Name, kGetOnly);
#define TAVIREX_OPERATION(Name, Form) add(#Name, k##Form);
#include "interface/properties.def"
  return lines;
}

WORD TypeFlags(ITypeInfo* info, TYPEKIND* kind = nullptr) {
  TYPEATTR* attributes = nullptr;
  if (info == nullptr || FAILED(info->GetTypeAttr(&attributes))) return 0;
  const WORD flags = attributes->wTypeFlags;
  if (kind != nullptr) *kind = attributes->typekind;
  info->ReleaseTypeAttr(attributes);
  return flags;
}

void TypeLibrary(const std::wstring& dll_path) {
  ITypeLib* library = nullptr;
  CheckHr(LoadTypeLibEx(dll_path.c_str(), REGKIND_NONE, &library), S_OK,
          "the type library embedded in the DLL");
  if (library == nullptr) return;
  TLIBATTR* version = nullptr;
  library->GetLibAttr(&version);
  Check(version->wMajorVerNum == 1 && version->wMinorVerNum == 0, "type library version 1.0");
  library->ReleaseTLibAttr(version);
  Bstr name;
  library->GetDocumentation(-1, name.out(), nullptr, nullptr, nullptr);
  CheckEqual(name.text(), "Tavirex", "the library's name");

  ITypeInfo* info = nullptr;
  library->GetTypeInfoOfGuid(IID__clsTavirex, &info);
  const WORD dual_hidden = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN;
  Check((TypeFlags(info) & dual_hidden) == dual_hidden, "_clsTavirex is dual and hidden");
  {
    Members members(info);
    Check((TypeFlags(members.table()) & TYPEFLAG_FOLEAUTOMATION) != 0,
          "its function table is OLE Automation compatible");
    const std::vector<std::string> dumped = DumpFunctions(members), contract = DefinedFunctions();
    std::string first;
    for (std::size_t i = 0; first.empty() && i < std::max(dumped.size(), contract.size()); ++i) {
      const std::string have = i < dumped.size() ? dumped[i] : "nothing";
      const std::string want = i < contract.size() ? contract[i] : "nothing";
      if (have != want) first = "function " + std::to_string(i) + ": " + have + ", expected " + want;
    }
    Check(first.empty(), "the function table in the contract's order: " + first);
  }
  if (info != nullptr) info->Release();

  // The class: creatable, _clsTavirex its default interface.
  TYPEKIND kind = TKIND_MAX;
  library->GetTypeInfoOfGuid(CLSID_clsTavirex, &info);
  Check((TypeFlags(info, &kind) & TYPEFLAG_FCANCREATE) != 0 && kind == TKIND_COCLASS,
        "clsTavirex is a creatable class");
  if (info != nullptr) {
    int flags = 0;
    HREFTYPE reference = 0;
    ITypeInfo* default_info = nullptr;
    info->GetImplTypeFlags(0, &flags);
    info->GetRefTypeOfImplType(0, &reference);
    info->GetRefTypeInfo(reference, &default_info);
    if (default_info != nullptr) {
      default_info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr);
      default_info->Release();
    }
    Check((flags & IMPLTYPEFLAG_FDEFAULT) != 0 && name.text() == "_clsTavirex",
          "its default interface is _clsTavirex");
    info->Release();
  }
  library->Release();
}

// ---------------------------------------------------------------------------
// Every property with a Get and a Let or Set, from the type library: each
// Let through the function table a value no other property gets (the caller's
// variable untouched when passed by reference), each Get back through
// IDispatch; then each Let through IDispatch as a script passes a variable, a
// NULL string or zero or Nothing, each Get back through the function table.

void PropertySweep(_clsTavirex* object, IDispatch* dispatch) {
  ITypeInfo* info = nullptr;
  dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
  Members members(info);
  if (info != nullptr) info->Release();
  struct Property {
    const Function* get;
    const Function* put;
    VARIANT value;  // the first Let's
  };
  std::vector<Property> properties;
  for (const Function& get : members.functions()) {
    const Function* put = members.Find(get.id, INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF);
    if (get.kind == INVOKE_PROPERTYGET && put != nullptr) properties.push_back({&get, put, {}});
  }
  std::size_t expected = 0;
#define TAVIREX_PROPERTY(Name, Kind, Access, Pass) \
  expected += std::string(#Access) == "GetLet" || std::string(#Access) == "GetSet";
#include "interface/properties.def"
  Check(properties.size() == expected, "the sweep finds " + std::to_string(properties.size()) +
                                           " properties, expected " + std::to_string(expected));

  // Text outside the ANSI code page comes back as assigned: Greek, Polish,
  // Japanese, a surrogate pair and a lone surrogate.
  std::vector<CountedObject> hosts(properties.size());
  for (std::size_t i = 0; i < properties.size(); ++i) {
    Property& property = properties[i];
    const std::string& name = property.get->name;
    const ELEMDESC& param = property.put->params[0];
    VARIANT& value = property.value;
    V_VT(&value) = BaseType(param);
    if (V_VT(&value) == VT_BSTR) {
      V_BSTR(&value) = SysAllocString((Wide(name) + L" Ωε łódź 東京 😀 " + L"\xDC00").c_str());
    } else if (V_VT(&value) == VT_DISPATCH) {
      V_DISPATCH(&value) = &hosts[i];
    } else if (V_VT(&value) == VT_BOOL) {
      V_BOOL(&value) = static_cast<VARIANT_BOOL>(i + 2);  // kept whatever the bits
    } else {
      V_I4(&value) = 100003 * static_cast<LONG>(i) - 7;
    }
    const VARIANT before = value;
    const std::wstring before_text = Show(value);
    const bool by_ref = param.tdesc.vt == VT_PTR;
    CheckHr(CallTable(object, property.put->offset,
                      {by_ref ? reinterpret_cast<ULONG_PTR>(&V_BSTR(&value))
                              : static_cast<ULONG_PTR>(V_UI8(&value))}),
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
          property.get->name + ": Get through IDispatch by its name in lower case: " + Hex(hr) +
              " " + Narrow(Show(got).c_str()) + ", expected " +
              Narrow(Show(property.value).c_str()));
    VariantClear(&got);
    if (V_VT(&property.value) == VT_DISPATCH) {
      Check(hosts[i].references() == 2, property.get->name + " holds one reference");
    }
  }

  for (const Property& property : properties) {
    VARIANT variable{};
    V_VT(&variable) = V_VT(&property.value);
    VARIANT reference{};
    V_VT(&reference) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&reference) = &variable;
    const bool set = property.put->kind == INVOKE_PROPERTYPUTREF;
    CheckHr(Invoke(dispatch, property.get->id, set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT,
                   {reference}, nullptr),
            S_OK, property.get->name + ": Let of a NULL string, zero or Nothing through IDispatch");
    Check(V_VT(&variable) == V_VT(&property.value) && V_UI8(&variable) == 0,
          property.get->name + ": the script's variable after the Let");
    VARIANT got{};
    V_VT(&got) = V_VT(&variable);
    HRESULT hr = CallTable(object, property.get->offset, {reinterpret_cast<ULONG_PTR>(&V_BSTR(&got))});
    const std::wstring expected_text = V_VT(&got) == VT_BSTR ? L"\"\"" : Show(variable);
    Check(hr == S_OK && Show(got) == expected_text,
          property.get->name + ": Get through the function table: " + Hex(hr) + " " +
              Narrow(Show(got).c_str()));
    VariantClear(&got);
  }
  for (std::size_t i = 0; i < properties.size(); ++i) {
    if (V_VT(&properties[i].value) == VT_BSTR) VariantClear(&properties[i].value);
    Check(hosts[i].references() == 1, properties[i].get->name + " gave its object back");
  }
}

// ---------------------------------------------------------------------------
// A failure reaches the host as VB's error number in an HRESULT, with its
// description and source as error information, or in the EXCEPINFO through
// IDispatch.

void VbErrors(_clsTavirex* object, IDispatch* dispatch) {
  VARIANT null_name{};
  V_VT(&null_name) = VT_NULL;
  Bstr store(L"C:\\store"), result;
  BSTR folder = store.get();
  CheckHr(object->ParseFileName(&null_name, &folder, result.out()), HRESULT(0x800A005E),
          "ParseFileName(Null) through the function table");
  IErrorInfo* error = nullptr;
  CheckHr(GetErrorInfo(0, &error), S_OK, "its error information");
  if (error != nullptr) {
    Bstr description, source;
    error->GetDescription(description.out());
    error->GetSource(source.out());
    CheckEqual(description.text() + "|" + source.text(), "Invalid use of Null|Tavirex.clsTavirex",
               "its description and source");
    error->Release();
  }
  ISupportErrorInfo* supports = nullptr;
  object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports));
  Check(supports != nullptr && supports->InterfaceSupportsErrorInfo(IID__clsTavirex) == S_OK,
        "ISupportErrorInfo for _clsTavirex");
  if (supports != nullptr) supports->Release();

  EXCEPINFO exception{};
  VARIANT folder_argument{};
  V_VT(&folder_argument) = VT_BSTR;
  V_BSTR(&folder_argument) = store.get();
  VARIANT out;
  CheckHr(Invoke(dispatch, IdOf(dispatch, L"ParseFileName"), DISPATCH_METHOD,
                 {null_name, folder_argument}, &out, &exception),
          DISP_E_EXCEPTION, "ParseFileName(Null) through IDispatch");
  CheckHr(exception.scode, HRESULT(0x800A005E), "its EXCEPINFO's code");
  CheckEqual(Narrow(exception.bstrDescription), "Invalid use of Null", "its EXCEPINFO's text");
  Clear(exception);
}

// A host whose variable is declared As Collection calls DeviceNames through
// VB's _Collection function table.
void VbCollection(_clsTavirex* object) {
  IDispatch* names = nullptr;
  _Collection* collection = nullptr;
  if (SUCCEEDED(object->get_DeviceNames(&names)) && names != nullptr) {
    names->QueryInterface(IID__Collection, reinterpret_cast<void**>(&collection));
    names->Release();
  }
  Check(collection != nullptr, "DeviceNames answers for VB's _Collection");
  if (collection == nullptr) return;
  LONG count = 0;
  collection->Count(&count);
  VARIANT index{}, item{};
  V_VT(&index) = VT_I4;
  V_I4(&index) = count;
  collection->Item(&index, &item);
  IUnknown* unknown = nullptr;
  IEnumVARIANT* items = nullptr;
  collection->_NewEnum(&unknown);
  if (unknown != nullptr) unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
  VARIANT all[20];
  ULONG fetched = 0;
  if (items != nullptr) items->Next(20, all, &fetched);
  Check(count == 16 && fetched == 16 && Show(all[15]) == Show(item) && V_VT(&item) == VT_BSTR,
        "_Collection's Count, Item and enumerator agree on 16 names");
  for (ULONG i = 0; i < fetched; ++i) VariantClear(&all[i]);
  VariantClear(&item);
  if (items != nullptr) items->Release();
  if (unknown != nullptr) unknown->Release();
  collection->Release();
}

// ---------------------------------------------------------------------------
// DllCanUnloadNow counts every live object and every lock.

void Unloading(const std::wstring& dll_path) {
  HMODULE dll = LoadLibraryW(dll_path.c_str());
  auto get_class_object = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  Check(get_class_object != nullptr, "DllGetClassObject exported");
  if (get_class_object == nullptr) return;
  CheckHr(CanUnloadNow(), S_OK, "DllCanUnloadNow with nothing alive");
  IClassFactory* factory = nullptr;
  CheckHr(get_class_object(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
          CLASS_E_CLASSNOTAVAILABLE, "a class object of an unknown class");
  get_class_object(CLSID_clsTavirex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (factory == nullptr) return;
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
  if (object == nullptr) return;
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with an object alive");
  IDispatch* names = nullptr;
  object->get_DeviceNames(&names);
  object->Release();
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with a collection alive");
  ITavirexCollection* collection = nullptr;
  IUnknown* enumerator = nullptr;
  if (names != nullptr) {
    names->QueryInterface(IID_ITavirexCollection, reinterpret_cast<void**>(&collection));
    names->Release();
  }
  if (collection != nullptr) {
    collection->_NewEnum(&enumerator);
    collection->Release();
  }
  CheckHr(CanUnloadNow(), S_FALSE, "DllCanUnloadNow with an enumerator alive");
  if (enumerator != nullptr) enumerator->Release();
  CheckHr(CanUnloadNow(), S_OK, "DllCanUnloadNow with everything released");
  FreeLibrary(dll);
}

// A database-server route on a workstation that names no server-connection
// component: the start-up shows nothing and records nothing.
void ServerRouteStartUp(Watcher& watcher, const std::wstring& dll_path) {
  WriteWindowsIni("praxo32.ini", {"[System]", "PgmsDir=C:\\TavirexHost",
                                  "DataDir=C:\\TavirexHost\\Data", "[ADOConnection]",
                                  "ConnectThru=SQL", "DataSource=PRAXO-SRV"});
  _clsTavirex* object = CreateTavirex();
  if (object == nullptr) return;
  Bstr path;
  object->GetPraxoDBPath(path.out());
  CheckEqual(path.text(), "C:\\TavirexHost\\Data", "the object works");
  object->Release();
  watcher.CheckNothingShown("start-up on the server route");
  const std::wstring error_file = dll_path.substr(0, dll_path.rfind(L'\\')) + L"\\PX_IF_Tavirex.err";
  Check(GetFileAttributesW(error_file.c_str()) == INVALID_FILE_ATTRIBUTES, "no error entry");
}

}  // namespace

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
      TypeLibrary(dll_path);
      if (_clsTavirex* object = CreateTavirex()) {
        IDispatch* dispatch = DispatchOf(object);
        PropertySweep(object, dispatch);
        VbErrors(object, dispatch);
        VbCollection(object);
        dispatch->Release();
        object->Release();
      }
      Unloading(dll_path);
      watcher.CheckNothingShown("the calls");
    }
  }
  return FinishHost();
}
