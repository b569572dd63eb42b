// A host of tavirex.dll running its workflows through COM under wine64, the
// watcher as the user: Review in the image list window (rows, a header click,
// a double-click opening a file in a test association's program, the host's
// window disabled meanwhile) and the images counted; Capture with the stand-in
// vendor program, whose waiting box is answered OK once the exports are in
// while the host's timer lets go of the object, writing its job into the
// outbox (a capture without an outbox, or with a file in its place, is the
// core's).
//   workflow_test_host.exe <CreatePatient.exe>  the tests
//   workflow_test_host.exe capture <CreatePatient.exe>
//                                               the capture alone, by the registered DLL
//   workflow_test_host.exe show                 Review left open for a screenshot: its rectangle
//                                               in C:\TavirexShow\window.txt; closes once
//                                               C:\TavirexShow\done appears
//   workflow_test_host.exe record <path>        the test association's program
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "host_support.h"

namespace {

using namespace host;
namespace fs = std::filesystem;

const fs::path kRoot = "C:\\TavirexE2E";
const fs::path kImages = kRoot / "Images";
const fs::path kDrop = kRoot / "Export";
const fs::path kProgramFolder = kRoot / "KSOCTVIEW" / "bin";
const fs::path kOutbox = kRoot / "Outbox";
const fs::path kErrorFile = "C:\\tavirex\\PX_IF_Tavirex.err";  // beside the DLL

const fs::path kOpened = "C:\\TavirexE2E-opened.txt";  // what the association opened

std::string ReadFile(const fs::path& path) {
  std::ostringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

// Names in a folder, sorted; files the stand-in is still writing left out.
std::vector<std::string> FolderNames(const fs::path& folder, const std::string& prefix = "") {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = Narrow(entry.path().filename().c_str());
    if (name.rfind(prefix, 0) == 0 && !name.ends_with(".part")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Capture and Review of one model; the Review function names the store folder.
void WriteEquipmentIni(const std::string& outbox = "") {
  std::vector<std::string> lines = {
      "[Equipment]",
      "Number=2",
      "1=21:OCT capture:Tavirex:Capture Vessara",
      "2=22:OCT review:Tavirex:Review Vessara",
      "[21]",
      "EquipProgPathFName=C:\\TavirexE2E\\KSOCTVIEW\\bin\\CreatePatient.exe",
      "EquipDataPath=C:\\TavirexE2E\\Export",
      "[22]",
      "EquipDataPath=C:\\TavirexE2E\\Images"};
  if (!outbox.empty()) lines.insert(lines.end(), {"[Tavirex]", "DicomOutbox=" + outbox});
  WriteWindowsIni("PXEquip.ini", lines);
}

void WriteWorkstation() {
  WriteWindowsIni("praxo32.ini",
                  {"[System]", "PgmsDir=C:\\TavirexE2E", "DataDir=C:\\TavirexE2E\\"});
  WriteEquipmentIni();
  fs::remove_all(kRoot);
  fs::create_directories(kImages);
  fs::create_directories(kProgramFolder);
}

void SetPatient(_clsTavirex* object, const std::wstring& id, const std::wstring& device) {
  SetText(object, &_clsTavirex::put_PATIENTID, id);
  SetText(object, &_clsTavirex::put_LastName, L"van Dyke");
  SetText(object, &_clsTavirex::put_DateOfBirth, L"03/04/1958");
  SetText(object, &_clsTavirex::put_DeviceName, device);
  LONG exam = 1042;
  object->put_ExamRecNum(&exam);
}

// ".tvxtest" opens in this program's "record" mode; Wine reads associations
// from HKCR only.
void Associate(bool on) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".tvxtest");
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"TavirexTest.Image");
  if (!on) return;
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::wstring command = L"\"" + std::wstring(program) + L"\" record \"%1\"";
  RegSetValueW(HKEY_CLASSES_ROOT, L".tvxtest", REG_SZ, L"TavirexTest.Image", 0);
  RegSetValueW(HKEY_CLASSES_ROOT, L"TavirexTest.Image\\shell\\open\\command", REG_SZ,
               command.c_str(), 0);
}

// ---------------------------------------------------------------------------
// Review: three files of patient 47-11, one named outside the ANSI code page,
// and one of another patient.
const std::string kOld = "4711_977_Vessara_OCT_Disc_200x200_1_OD_2015-11-02_09-30-00.tvxtest";
const std::string kNew = "4711_1108_Vessara_OCT_Macula_512x128_1_OU_2017-01-15_16-45-30.tvxtest";
const std::string kForeign =
    "4711_1042_Vessara_Ωμέγα_łódź_東京_😀_OS_2016-05-31_14-05-09.Ωμέγα東京😀.tvxtest";
const std::string kRowOld = "4711|977|11/2/2015|09:30:00.tvxtest|OD";
const std::string kRowNew = "4711|1108|1/15/2017|16:45:30.tvxtest|OU";
const std::string kRowForeign = "4711|1042|5/31/2016|14:05:09.Ωμέγα東京😀.tvxtest|OS";

// The texts of the list's visible columns, as the user reads them: their
// headers, or the cells of row `row`.
std::string Texts(HWND list, int row = -1) {
  std::vector<std::string> texts;
  for (int c = 0;; ++c) {
    wchar_t text[512] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = text;
    column.cchTextMax = 512;
    if (!SendMessageW(list, LVM_GETCOLUMNW, c, reinterpret_cast<LPARAM>(&column))) break;
    LVITEMW item{};
    item.iSubItem = c;
    item.pszText = text;
    item.cchTextMax = 512;
    if (row >= 0) SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    if (column.cx > 0) texts.push_back(Narrow(text));
  }
  return Join(texts);
}

void CheckRows(HWND list, const std::vector<std::string>& expected, const std::string& what) {
  std::vector<std::string> rows;
  WaitUntil(
      [&] {
        rows.clear();
        const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) rows.push_back(Texts(list, i));
        return rows == expected;
      },
      5000);
  CheckEqual(Join(rows, " "), Join(expected, " "), what);
}

// Review of the samples, the window worked by `user` on the watcher's thread.
void Review(Watcher& watcher, const Watcher::Answer& user) {
  Doing("Review");
  WriteWorkstation();
  for (const std::string& name :
       {kOld, kNew, kForeign, std::string("0815_1042_Vessara_OCT_1_OD_2016-05-31_14-05-09.jpg")}) {
    WriteFile(kImages / Wide(name), "sample\r\n");
  }
  Associate(true);
  fs::remove(kOpened);
  _clsTavirex* object = CreateTavirex();
  if (object == nullptr) return;
  SetPatient(object, L"47-11", L"Review Vessara");

  // The window is modal to the host's window, which is active before.
  HWND host_window = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                     300, 200, nullptr, nullptr, nullptr, nullptr);
  SetActiveWindow(host_window);
  watcher.Script(user ? user : [&](const Seen& window) {
    Check(!window.box && window.title == "Tavirex Images",
          "the image list window: " + Describe(window));
    Check(!IsWindowEnabled(host_window), "the host's window is disabled during Review");
    HWND list = FindWindowExW(window.window, nullptr, WC_LISTVIEWW, nullptr);
    CheckEqual(Texts(list), "Patient #|Exam #|Date|Time|Eye", "the visible columns");
    CheckRows(list, {kRowNew, kRowForeign, kRowOld}, "as loaded");
    Click(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), HDM_GETITEMRECT, 1,
          false);
    CheckRows(list, {kRowForeign, kRowNew, kRowOld}, "Exam # clicked");
    Click(list, LVM_GETITEMRECT, 2, true);
    const std::string expected = (kImages / kOld).string() + "\r\n";
    Check(WaitUntil([&] { return ReadFile(kOpened) == expected; }, 15000),
          "a double-click opens the row's file: " + ReadFile(kOpened));
    HWND exit_button = FindWindowExW(window.window, nullptr, L"Button", nullptr);
    PostMessageW(exit_button, BM_CLICK, 0, 0);
  });
  Bstr result;
  CheckHr(object->ReviewDevice(result.out()), S_OK, "ReviewDevice");
  CheckEqual(result.text(), "Was OK", "ReviewDevice after Exit");
  Check(IsWindowEnabled(host_window) && GetActiveWindow() == host_window,
        "the host's window is enabled and active again after Review");
  DestroyWindow(host_window);

  LONG count = -1;
  object->NumPatientImageFiles(&count);
  Check(count == 3, "NumPatientImageFiles: " + std::to_string(count));
  object->Release();
  Associate(false);
}

// ---------------------------------------------------------------------------
// Capture. The host's timer, run by the waiting box's message loop once the
// watcher hands it the object, calls a second device function, lets go of the
// host's last reference and asks whether the DLL could unload.

std::atomic<IDispatch*> g_timer_object{nullptr};
std::atomic<bool> g_timer_ran{false};
std::string g_second_call = "<not called>";
HRESULT g_unload_in_box = E_FAIL;

void CALLBACK HostTimer(HWND, UINT, UINT_PTR, DWORD) {
  IDispatch* object = g_timer_object.exchange(nullptr);
  if (object == nullptr) return;
  g_second_call = CallText(object, L"DoDeviceFunction");
  object->Release();
  g_unload_in_box = CanUnloadNow();
  g_timer_ran = true;
}

// The capture's job goes into the outbox folder.
void Capture(Watcher& watcher, const fs::path& standin) {
  Doing("Capture with an outbox");
  WriteEquipmentIni(kOutbox.string());
  fs::create_directories(kOutbox);
  fs::remove(kErrorFile);
  fs::copy_file(standin, kProgramFolder / "CreatePatient.exe");
  WriteFile(kProgramFolder / "CreatePatient.cfg",
            "DropFolder=" + kDrop.string() + "\r\nImages=3\r\n");
  _clsTavirex* object = CreateTavirex();
  if (object == nullptr) return;
  SetPatient(object, L"12-3456-789", L"Capture Vessara");
  IDispatch* dispatch = DispatchOf(object);
  object->Release();  // the host's last reference is `dispatch`

  std::vector<std::string> exported;
  watcher.Script([&](const Seen& box) {
    CheckEqual(Describe(box),
               "[box \"Tavirex Capture\" \"Waiting for Technician  -  Place files in " +
                   kDrop.string() + "\" buttons 1 2]",
               "the waiting box, with OK and Cancel");
    g_timer_object = dispatch;
    Check(WaitUntil([] { return g_timer_ran.load(); }, 5000), "the host's timer ran");
    Check(WaitUntil([&] { return (exported = FolderNames(kDrop)).size() == 3; }, 20000),
          "the stand-in exported three files: " + Join(exported));
    Press(box, IDOK);
  });
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &HostTimer);
  const std::string result = CallText(dispatch, L"DoDeviceFunction");
  KillTimer(nullptr, timer);
  if (!g_timer_ran) dispatch->Release();
  CheckEqual(result, "Was OK", "DoDeviceFunction(Capture Vessara)");
  CheckEqual(g_second_call, "", "a device function called during the box does not run");
  CheckHr(g_unload_in_box, S_FALSE, "the object lives on until its call ends");
  CheckHr(CanUnloadNow(), S_OK, "the object went after its call");

  // Every export moved to the store folder, the exam number after the key.
  std::vector<std::string> stored;
  for (const std::string& name : exported) {
    stored.push_back(name.substr(0, name.find('_')) + "_1042" + name.substr(name.find('_')));
  }
  CheckEqual(Join(FolderNames(kImages, "123456789_")), Join(stored), "the store folder");
  CheckEqual(Join(FolderNames(kDrop)), "", "the drop folder after the import");

  // One job naming them, and no error entry.
  const std::vector<std::string> jobs = FolderNames(kOutbox);
  const std::string job = jobs.size() == 1 ? ReadFile(kOutbox / jobs[0]) : "";
  Check(jobs.size() == 1 && jobs[0].size() == 24 && jobs[0][8] == 'T' &&
            jobs[0].ends_with("_1042.job"),
        "one job in the outbox: " + Join(jobs));
  for (const std::string& name : stored) {
    const std::string path = "\"C:\\\\TavirexE2E\\\\Images\\\\" + name + "\"";
    Check(job.find(path) != std::string::npos, "the job names " + path + ": " + job);
  }
  Check(job.find("\"LastName\": \"van Dyke\"") != std::string::npos, "the job: " + job);
  // The birth date as this month-day-year workstation reads it.
  Check(job.find("\"BirthDate\": \"1958-03-04\"") != std::string::npos, "the job: " + job);
  CheckEqual(ReadFile(kErrorFile), "", "the error file");
}

// Review left open for a screenshot.
void Show(Watcher& watcher) {
  fs::create_directories("C:\\TavirexShow");
  Review(watcher, [](const Seen& window) {
    Sleep(500);  // painted
    RECT rect{};
    GetWindowRect(window.window, &rect);
    WriteFile("C:\\TavirexShow\\window.txt", std::to_string(rect.left) + " " +
                                                 std::to_string(rect.top) + " " +
                                                 std::to_string(rect.right - rect.left) + " " +
                                                 std::to_string(rect.bottom - rect.top) + "\n");
    WaitUntil([] { return fs::exists("C:\\TavirexShow\\done"); }, 120000);
    PostMessageW(FindWindowExW(window.window, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
  });
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "record" && argc > 2) {
    std::ofstream(kOpened, std::ios::binary | std::ios::app) << argv[2] << "\r\n";
    return 0;
  }
  if (mode.empty()) {
    std::printf("usage: workflow_test_host [capture] <CreatePatient.exe> | show | record <path>\n");
    return 2;
  }
  StartHost();
  {
    Watcher watcher;
    if (mode == "show") {
      Show(watcher);
    } else {
      const bool alone = mode == "capture" && argc > 2;
      alone ? WriteWorkstation() : Review(watcher, nullptr);
      Capture(watcher, alone ? argv[2] : mode);
      watcher.CheckNothingShown("the workflows");
    }
  }
  return FinishHost();
}
