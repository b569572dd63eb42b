// tavirex-dicom against a real archive: one Orthanc for the whole run, on
// loopback ports chosen now, with its storage in a temporary folder. What
// arrived is read back through Orthanc's REST API.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "forwarder/store.h"
#include "vocabulary/outbox_job.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

fs::path kData;  // the test images

// The program the table runs and how it names the test's folders: the Linux
// program, or (TAVIREX_DICOM_WINDOWS names the .exe) the Windows one under
// wine64, which sees "/" as drive Z:. Rows Wine cannot show are skipped there:
// it shows a symbolic link as what it points to and has no POSIX permissions.
const char* const kWindows = std::getenv("TAVIREX_DICOM_WINDOWS");
std::vector<std::string> Program(const std::vector<std::string>& args) {
  std::vector<std::string> program = {TAVIREX_DICOM_PROGRAM};
  if (kWindows) program = {TAVIREX_WINE_RUN, kWindows};
  program.insert(program.end(), args.begin(), args.end());
  return program;
}
std::string Native(const fs::path& path) {
  std::string text = (kWindows ? "Z:" : "") + path.string();
  if (kWindows) std::ranges::replace(text, '/', '\\');
  return text;
}
// The forwarder's stop request: SIGINT is Wine's Ctrl+C.
const int kStop = kWindows ? SIGINT : SIGTERM;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

// uid: the user it runs as, when the tests run as root (permissions bind
// nobody else).
pid_t Spawn(const std::vector<std::string>& args, const fs::path& log, uid_t uid = 0) {
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);  // a signal to the group reaches wine64 behind its launcher
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    dup2(fd, 1);
    dup2(fd, 2);
    if (uid != 0 && getuid() == 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(126);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t Lines(const fs::path& file) { return std::ranges::count(ReadFile(file), '\n'); }

// Waits (at most a minute) until done() holds.
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 1200 && !done(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

class Orthanc {
 public:
  explicit Orthanc(const fs::path& folder)
      : folder_(folder), http_port_(FreePort()), dicom_port_(FreePort()) {
    fs::create_directories(folder / "db");
    // Out of resources (0xA700) for the patient "FULL".
    std::ofstream(folder / "filter.lua")
        << "function ReceivedInstanceFilter(dicom, o, i) if "
           "dicom.PatientID == 'FULL' then error('full') end return true end";
    std::ofstream(folder / "orthanc.json") << json{
        {"Name", "tavirex-test"},
        {"StorageDirectory", (folder / "db").string()},
        {"IndexDirectory", (folder / "db").string()},
        {"HttpPort", http_port_},
        {"DicomPort", dicom_port_},
        {"DicomAet", "ARCHIVE"},
        {"RemoteAccessAllowed", false},
        {"AuthenticationEnabled", false},
        {"LuaScripts", {(folder / "filter.lua").string()}},
        {"Plugins", json::array()}}.dump();
  }
  ~Orthanc() { Stop(); }
  int dicom_port() const { return dicom_port_; }

  void Start() {
    pid_ = Spawn({"/usr/sbin/Orthanc", (folder_ / "orthanc.json").string()}, folder_ / "log");
    for (int i = 0; i < 300 && Request("GET", "/system").empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(Request("GET", "/system").empty()) << ReadFile(folder_ / "log");
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    Wait(pid_);
    pid_ = 0;
  }

  // The body of an HTTP/1.0 answer; empty when Orthanc is not there.
  std::string Request(const std::string& method, const std::string& path,
                      const std::string& body = "") const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(http_port_);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      const std::string request = method + " " + path +
                                  " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) +
                                  "\r\n\r\n" + body;
      if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
        char buffer[65536];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) answer.append(buffer, n);
      }
    }
    close(fd);
    const auto end = answer.find("\r\n\r\n");
    return end == std::string::npos ? "" : answer.substr(end + 4);
  }
  json Get(const std::string& path) const { return json::parse(Request("GET", path)); }

  // The instances of an exam with their tags, in the order of their numbers.
  std::vector<json> Exam(int exam) const {
    std::vector<json> found;
    const json ids = json::parse(
        Request("POST", "/tools/find",
                json{{"Level", "Instance"}, {"Query", {{"AccessionNumber", std::to_string(exam)}}}}
                    .dump()));
    for (const auto& id : ids) {
      json tags = Get("/instances/" + id.get<std::string>() + "/simplified-tags");
      tags["id"] = id;
      found.push_back(tags);
    }
    std::ranges::stable_sort(found, {}, [](const json& tags) {
      return std::stoi(tags["InstanceNumber"].get<std::string>());
    });
    return found;
  }
  int Instances() const { return Get("/statistics")["CountInstances"]; }

 private:
  fs::path folder_;
  int http_port_, dicom_port_;
  pid_t pid_ = 0;
};

struct Image {
  std::string stored;  // the stored name
  const char* data;    // the test image it is a copy of
  const char* laterality;
  const char* photometric;
  // How the job reaches a copy kept outside the store: "absolute", "..",
  // "/../", "link" (the stored name) or "folder link"; by default the job
  // names the stored name in the store.
  std::string via = "";
};

struct JobRow {
  // PATIENTID, LastName, FirstName, MiddleName, DateOfBirth, Gender, and
  // BirthDate as the plug-in reads DateOfBirth (none: a job from before it did)
  std::array<const char*, 7> host;
  int exam;
  const char* device;
  std::vector<Image> images;
  // What the archive holds: Patient ID, Patient's Name, Birth Date, Sex; or
  // the failure's reason.
  std::array<const char*, 4> stored = {"", "", "", ""};
  const char* failure = nullptr;
  std::size_t archived = 0;  // instances of a failed job in the archive
};

// clang-format off
const std::vector<JobRow> kJobs = {
    {{"12-3456-789", "Παπαδοπούλου", "Ελένη", "", "01/02/1960", "F"}, 1042, "Capture Vessara",
     {{"123456789_1042_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg", "colour.jpg", "R", "YBR_FULL_422"},
      {"123456789_1042_a_b_c_d_e_OS_2016-05-31_14-06-10.jpg", "grey.jpg", "L", "MONOCHROME2"},
      {"123456789_1042_a_b_c_d_e_OU_2016-05-31_14-07-11.png", "alpha.png", "B", "RGB"}},
     {"12-3456-789", "Παπαδοπούλου^Ελένη", "19600102", "F"}},
    {{"98-7654", "Łukasiewicz", "Zażółć", "Gęślą", "13/45/1970", "m"}, 1043, "Capture Corvana",
     {{"987654_1043_a_b_c_d_e_OD_2017-01-02_09-00-00.bmp", "colour.bmp", "R", "RGB"},
      {"987654_1043_a_b_c_d_e_OD_2017-01-02_09-00-01.jpg", "full.jpg", "R", "YBR_FULL_422"},
      {"987654_1043_a_b_c_d_e_OS_2017-01-02_09-00-02.png", "deep.png", "L", "RGB"}},
     {"98-7654", "Łukasiewicz^Zażółć^Gęślą", "", "M"}},
    {{"77", "Bad", "Image", "", "", ""}, 1044, "Capture Vessara",
     {{"77_1044_a_b_c_d_e_OD_2017-01-02_09-00-00.jpg", "colour.jpg", "R", ""},
      {"77_1044_a_b_c_d_e_OS_2017-01-02_09-00-01.gif", "bad.gif", "L", ""}},
     {}, "gif: not a JPEG, PNG or BMP image", 1},
    {{"5555-1234-5678-9012-34", "山田", "太郎", "", "1975-03-04", "X"}, 1045, "Capture Vessara",
     {{"5555123456789012_1045_a_b_c_d_e_OS_2018-12-31_23-59-58.jpg", "colour.jpg", "L", "YBR_FULL_422"}},
     {"5555-1234-5678-9012-34", "山田^太郎", "19750304", ""}},
    {{"77", "Bad", "Image", "", "", ""}, 1046, "",
     {{"77_1046_a_b_c_d_e_OD_2017-01-02_09-00-00.png", "huge.png", "R", ""}},
     {}, "30000 x 30000 pixels, more than the 100 megapixels"},
    {{"77", "Bad", "Image", "", "", ""}, 1047, "",
     {{"77_1047_a_b_c_d_e_OD_2017-01-02_09-00-00.jpg", "cut.jpg", "R", ""}},
     {}, "the JPEG is cut short"},
    {{"77", "Bad", "Image", "", "", ""}, 1048, "",
     {{"77_1048_a_b_c_d_e_OD_2017-01-02_09-00-00.jpg", "colour.jpg", "R", "", "absolute"}},
     {}, "outside the store folders"},
    {{"77", "Bad", "Image", "", "", ""}, 1049, "",
     {{"77_1049_a_b_c_d_e_OD_2017-01-02_09-00-00.jpg", "colour.jpg", "R", "", ".."}},
     {}, "leaves the store folder"},
    {{"77", "Bad", "Image", "", "", ""}, 1050, "",
     {{"77_1050_a_b_c_d_e_OD_2017-01-02_09-00-00.jpg", "colour.jpg", "R", "", "/../"}},
     {}, "leaves the store folder"},
    {{"77", "Bad", "Image", "", "", ""}, 1051, "",
     {{"77_1051_a_b_c_d_e_OD_2017-01-02_09-00-00.jpg", "colour.jpg", "R", "", "link"}},
     {}, "a symbolic link"},
    {{"77", "Bad", "Image", "", "", ""}, 1052, "",
     {{"77_1052_a_b_c_d_e_OD_2017-01-02_09-00-00.jpg", "colour.jpg", "R", "", "folder link"}},
     {}, "linked: a symbolic link"},
    // A file of another patient's key in the job: nothing of it is sent.
    {{"31", "Ray", "Ann", "", "", ""}, 1061, "Capture Vessara",
     {{"31_1061_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg", "colour.jpg", "R", ""},
      {"32_1061_a_b_c_d_e_OS_2019-01-01_10-00-01.jpg", "colour.jpg", "L", ""}},
     {}, "32_1061_a_b_c_d_e_OS_2019-01-01_10-00-01.jpg carries the key \"32\" of another patient, not \"31\""},
    // Two patients of one key stay two.
    {{"1234567890123456-A", "Same", "Ann", "", "", ""}, 1062, "Capture Vessara",
     {{"1234567890123456_1062_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg", "colour.jpg", "R", "YBR_FULL_422"}},
     {"1234567890123456-A", "Same^Ann", "", ""}},
    {{"1234567890123456-B", "Same", "Bob", "", "", ""}, 1063, "Capture Vessara",
     {{"1234567890123456_1063_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg", "colour.jpg", "R", "YBR_FULL_422"}},
     {"1234567890123456-B", "Same^Bob", "", ""}},
    // DICOM's delimiters and an escape become spaces; the name is cut to 64
    // bytes before the é that would straddle them.
    {{"33", "O^Brien", "Ann=Marie", "back\\slash\x1b" "éééééééééééééééééééé", "", ""}, 1064, "Capture Vessara",
     {{"33_1064_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg", "colour.jpg", "R", "YBR_FULL_422"}},
     {"33", "O Brien^Ann Marie^back slash ééééééééééééééééé", "", ""}},
    {{"35\\1", "Bad", "Id", "", "", ""}, 1066, "Capture Vessara",
     {{"35_1066_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg", "colour.jpg", "R", ""}},
     {}, "PATIENTID \"35\\1\" cannot be the archive's Patient ID as it is (a backslash"},
    {{"", "No", "Id", "", "", ""}, 1067, "Capture Vessara",
     {{"36_1067_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg", "colour.jpg", "R", ""}},
     {}, "PATIENTID \"\" cannot be the archive's Patient ID as it is (empty)"},
    // The birth date as the workstation read it (here day-month-year), or none.
    {{"37", "Day", "Month", "", "03/04/1958", "F", "1958-04-03"}, 1068, "Capture Vessara",
     {{"37_1068_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg", "colour.jpg", "R", "YBR_FULL_422"}},
     {"37", "Day^Month", "19580403", "F"}},
    {{"38", "Part", "Date", "", "3/4", "M", ""}, 1069, "Capture Vessara",
     {{"38_1069_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg", "colour.jpg", "R", "YBR_FULL_422"}},
     {"38", "Part^Date", "", "M"}},
};
// clang-format on

class ForwarderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = fs::temp_directory_path() / ("tavirex-forwarder-" + std::to_string(getpid()));
    fs::create_directories(root_);
    // Small images of each kind (ImageMagick): YCbCr 4:2:0 and 4:4:4, grey,
    // PNG with alpha and with 16-bit samples, BMP, and a GIF that no archive
    // gets.
    kData = root_ / "data";
    fs::create_directories(kData);
    for (const auto& [name, args] : std::vector<std::pair<std::string, std::string>>{
             {"colour.jpg", "-size 16x8 gradient:red-blue -sampling-factor 2x2"},
             {"full.jpg", "-size 16x8 gradient:yellow-green -sampling-factor 1x1"},
             {"grey.jpg", "-size 16x8 gradient:white-black -colorspace Gray"},
             {"alpha.png", "-size 8x8 'xc:rgba(35,6,34,0.502)'"},
             {"deep.png", "-size 8x8 gradient:'#102030-#f0e0d1' -depth 16"},
             {"colour.bmp", "-size 8x8 gradient:blue-white -type TrueColor BMP3:"},
             {"bad.gif", "-size 8x8 xc:red"}}) {
      const std::string command =
          "convert " + args + (args.ends_with(":") ? "" : " ") + (kData / name).string();
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    // A JPEG without its end, and a PNG that declares 30000 x 30000 pixels.
    const std::string jpeg = ReadFile(kData / "colour.jpg");
    std::ofstream(kData / "cut.jpg", std::ios::binary) << jpeg.substr(0, jpeg.size() - 10);
    std::string png = ReadFile(kData / "deep.png");
    png.replace(16, 8, std::string("\0\0\x75\x30\0\0\x75\x30", 8));
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    std::ofstream(kData / "huge.png", std::ios::binary) << png;
    orthanc_ = new Orthanc(root_ / "orthanc");
    orthanc_->Start();
  }
  static void TearDownTestSuite() {
    delete orthanc_;
    fs::remove_all(root_);
  }

  void SetUp() override {
    dir_ = root_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (const char* sub : {"outbox", "store", "state"}) fs::create_directories(dir_ / sub);
    config_ = WriteConfig("OP");
  }

  // port: the archive's when not the suite's Orthanc; tls: a [tls] section.
  fs::path WriteConfig(const std::string& sop_class, int port = 0, const std::string& tls = "") {
    const fs::path file = dir_ / ("forwarder-" + sop_class + std::to_string(port) + ".conf");
    std::ofstream(file) << "outbox = " << Native(dir_ / "outbox") << "\n"
                        << "state = " << Native(dir_ / "state") << "\n"
                        << tls << "\n[archive]\nhost = 127.0.0.1\nport = "
                        << (port ? port : orthanc_->dicom_port())
                        << "\ncalled_ae = ARCHIVE\nsop_class = " << sop_class
                        << "\n[queue]\npoll_seconds = 1\n[paths]\n\\\\PRAXO\\Images = "
                        << Native(dir_ / "store") << "\n";
    return file;
  }

  // Copies the row's images into the store folder and writes its job.
  void WriteJob(const JobRow& row, const std::string& name) {
    tavirex::OutboxJob job;  // written as the plug-in writes it
    for (const Image& image : row.images) {
      const fs::path away = dir_ / "private" / image.stored;
      fs::create_directories(away.parent_path());
      fs::copy_file(kData / image.data, image.via.empty() ? dir_ / "store" / image.stored : away,
                    fs::copy_options::overwrite_existing);
      std::string named = std::string("\\\\praxo\\images\\") + image.stored;
      if (image.via == "absolute") named = Native(away);
      if (image.via == "..") named = "\\\\praxo\\images\\..\\private\\" + image.stored;
      if (image.via == "/../") named = "\\\\praxo\\images\\OCT/../../private/" + image.stored;
      if (image.via == "link") fs::create_symlink(away, dir_ / "store" / image.stored);
      if (image.via == "folder link") {
        fs::create_directory_symlink(away.parent_path(), dir_ / "store" / "linked");
        named = "\\\\praxo\\images\\linked\\" + image.stored;
      }
      job.files.push_back(named);
    }
    job.captured = "2026-12-06T20:55:03";
    job.CompanyName = "Tavirex Optics", job.Model = "Vessara 2";
    job.ExamRecNum = row.exam, job.DeviceName = row.device;
    std::tie(job.PATIENTID, job.LastName, job.FirstName, job.MiddleName, job.DateOfBirth,
             job.Gender) =
        std::tie(row.host[0], row.host[1], row.host[2], row.host[3], row.host[4], row.host[5]);
    if (row.host[6]) job.BirthDate = row.host[6];
    std::ofstream(dir_ / "outbox" / name) << tavirex::OutboxJobText(job);
  }

  // The forwarder's exit code; its output in output_.
  int Forwarder(const std::vector<std::string>& args, fs::path config = {}, uid_t uid = 0) {
    std::vector<std::string> argv = Program({"-c", Native(config.empty() ? config_ : config)});
    argv.insert(argv.end(), args.begin(), args.end());
    if (uid != 0 && !kWindows) {  // a copy the user can reach, wherever the build is
      argv[0] = (root_ / "tavirex-dicom").string();
      fs::copy_file(TAVIREX_DICOM_PROGRAM, argv[0], fs::copy_options::overwrite_existing);
    }
    const int code = Wait(Spawn(argv, dir_ / "forwarder.log", uid));
    output_ = ReadFile(dir_ / "forwarder.log");
    std::cout << output_;
    fs::remove(dir_ / "forwarder.log");
    return code;
  }

  // DCMTK's storescp as the archive, storing into received/; its port.
  int StoreScp(std::vector<std::string> args) {
    const int port = FreePort();
    fs::create_directories(dir_ / "received");
    args.insert(args.begin(), {"/usr/bin/storescp", "-od", (dir_ / "received").string()});
    args.push_back(std::to_string(port));
    scps_.push_back(Spawn(args, dir_ / "storescp.log"));
    const std::string knock = "bash -c 'echo >/dev/tcp/127.0.0.1/" + std::to_string(port) + "'";
    EXPECT_TRUE(Eventually([&] { return std::system((knock + " 2>/dev/null").c_str()) == 0; }));
    return port;
  }
  void TearDown() override {
    for (const pid_t scp : scps_) kill(scp, SIGTERM), Wait(scp);
  }

  json Status() {
    Forwarder({"status", "--json"});
    return json::parse(output_);
  }

  bool OutboxHasJobs() {
    return std::ranges::any_of(fs::directory_iterator(dir_ / "outbox"), [](const auto& entry) {
      return entry.path().extension() == ".job";
    });
  }

  static inline fs::path root_;
  static inline Orthanc* orthanc_ = nullptr;
  fs::path dir_, config_;
  std::string output_;
  std::vector<pid_t> scps_;
};

// Every attribute, for names in several scripts; a job with a GIF goes to
// failed/, the next is delivered; a resend stores nothing; the store is kept.
TEST_F(ForwarderTest, JobsBecomeInstancesOfOneStudyPerExamAndOneSeriesPerEyeAndDevice) {
  std::vector<JobRow> jobs = kJobs;
  if (kWindows) {
    std::erase_if(jobs, [](const JobRow& row) { return row.images[0].via.ends_with("link"); });
  }
  for (const JobRow& row : jobs)
    WriteJob(row, "20261206T2055_" + std::to_string(row.exam) + ".job");
  const auto store_before = fs::last_write_time(dir_ / "store");
  ASSERT_EQ(Forwarder({"run", "--once"}), 0);
  EXPECT_FALSE(OutboxHasJobs());
  EXPECT_EQ(fs::last_write_time(dir_ / "store"), store_before);

  // A job that failed got only the images before the one refused, or none.
  const auto nothing_refused_arrived = [&] {
    for (const JobRow& row : jobs) {
      if (row.failure) {
        EXPECT_EQ(orthanc_->Exam(row.exam).size(), row.archived) << row.exam;
      }
    }
  };
  nothing_refused_arrived();
  for (const JobRow& row : jobs) {
    SCOPED_TRACE(row.exam);
    const std::vector<json> exam = orthanc_->Exam(row.exam);
    if (row.failure) {
      const fs::path failed =
          dir_ / "outbox" / "failed" / ("20261206T2055_" + std::to_string(row.exam) + ".job");
      EXPECT_TRUE(fs::exists(failed));
      EXPECT_NE(ReadFile(failed.string() + ".txt").find(row.failure), std::string::npos);
      EXPECT_EQ(exam.size(), row.archived);
      continue;
    }
    ASSERT_EQ(exam.size(), row.images.size());
    std::set<std::string> studies, series, eyes;
    for (std::size_t i = 0; i < row.images.size(); ++i) {
      const Image& image = row.images[i];
      const json& tags = exam.at(i);
      const std::string stored = image.stored;
      // "2016-05-31_14-05-09" at the end of the name: 20160531140509.
      const std::string when =
          std::regex_replace(stored.substr(stored.size() - 23, 19), std::regex("[-_]"), "");
      const std::map<std::string, std::string> expected = {
          {"SOPClassUID", "1.2.840.10008.5.1.4.1.1.77.1.5.1"},
          {"SpecificCharacterSet", "ISO_IR 192"},
          {"PatientID", row.stored[0]},
          {"PatientName", row.stored[1]},
          {"PatientBirthDate", row.stored[2]},
          {"PatientSex", row.stored[3]},
          {"StudyID", std::to_string(row.exam)},
          {"AccessionNumber", std::to_string(row.exam)},
          {"ImageLaterality", image.laterality},
          {"PhotometricInterpretation", image.photometric},
          {"Modality", "OP"},
          {"Manufacturer", "Tavirex Optics"},
          {"ManufacturerModelName", "Vessara 2"},
          {"AcquisitionDateTime", when}};
      for (const auto& [key, value] : expected) {
        EXPECT_EQ(tags.value(key, "(none)"), value) << key << " of " << stored;
      }
      EXPECT_EQ(tags["AnatomicRegionSequence"], json::parse(R"([{"CodeValue": "81745001",
          "CodingSchemeDesignator": "SCT", "CodeMeaning": "Eye"}])"));
      const std::string frame =
          orthanc_->Request("GET", "/instances/" + tags["id"].get<std::string>() + "/frames/0/raw");
      if (stored.ends_with(".jpg")) {  // the JPEG as it was, padded to an even length
        const std::string file = ReadFile(kData / image.data);
        EXPECT_EQ(frame.substr(0, file.size()), file);
        EXPECT_LE(frame.size(), file.size() + 1);
      } else {  // the colour values as they are, alpha dropped, 16-bit samples rounded to 8
        const fs::path pixels = dir_ / "pixels";
        const std::string command = "convert " + (kData / image.data).string() +
                                    " -alpha off -depth 16 -endian MSB rgb:" + pixels.string();
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string deep = ReadFile(pixels);
        std::string expected;
        for (std::size_t i = 0; i + 1 < deep.size(); i += 2) {
          const unsigned sample =
              static_cast<unsigned char>(deep[i]) << 8 | static_cast<unsigned char>(deep[i + 1]);
          expected += static_cast<char>((sample * 255 + 32767) / 65535);
        }
        EXPECT_EQ(frame, expected) << stored;
      }
      studies.insert(tags["StudyInstanceUID"]);
      series.insert(tags["SeriesInstanceUID"]);
      eyes.insert(image.laterality);
    }
    EXPECT_EQ(studies.size(), 1u);
    EXPECT_EQ(series.size(), eyes.size());
  }

  const int stored = orthanc_->Instances();
  WriteJob(kJobs[0], "20261207T0000_1042.job");
  ASSERT_EQ(Forwarder({"run", "--once"}), 0);
  EXPECT_FALSE(OutboxHasJobs());
  EXPECT_EQ(orthanc_->Instances(), stored);

  const json status = Status();
  ASSERT_EQ(status["failed"].size(),
            std::ranges::count_if(jobs, [](const JobRow& row) { return row.failure; }));
  EXPECT_NE(status["failed"][0]["reason"].get<std::string>().find(
                "77_1044_a_b_c_d_e_OS_2017-01-02_09-00-01.gif"),
            std::string::npos);
  EXPECT_NE(status["failed"][1]["reason"].get<std::string>().find(kJobs[4].failure),
            std::string::npos);
  EXPECT_EQ(status["last_delivery"]["job"], "20261207T0000_1042.job");
  EXPECT_TRUE(status["pending"].empty());
  // A job failing under a name that failed/ holds already goes beside it.
  WriteJob(kJobs[2], "20261206T2055_1044.job");
  ASSERT_EQ(Forwarder({"run", "--once"}), 0);
  EXPECT_TRUE(fs::exists(dir_ / "outbox" / "failed" / "20261206T2055_1044-2.job"));
  EXPECT_TRUE(fs::exists(dir_ / "outbox" / "failed" / "20261206T2055_1044.job"));
  // Jobs carry patient data: what the forwarder writes is its user's alone.
  for (const fs::path& path :
       kWindows ? std::vector<fs::path>{}
                : std::vector<fs::path>{
                      dir_ / "state", dir_ / "outbox" / "failed", dir_ / "state" / "status.json",
                      dir_ / "outbox" / "failed" / "20261206T2055_1044.job.txt"}) {
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mode & 077, 0u) << path;
  }

  // Backfill: each image under its patient in the practice's list (a BOM,
  // quotes, a column of its own), so the images sent already are not stored
  // again; a key of no listed patient, or of two, is not sent; without the
  // list nothing is. Links in the store are reported and not followed.
  fs::copy_file(kData / "grey.jpg",
                dir_ / "store" / "123456789_1042_a_b_c_d_e_OS_2016-05-31_14-08-00.jpg");
  std::ofstream(dir_ / "store" / "notes.txt") << "not an image";
  const std::vector<std::string> backfill = {"backfill", Native(dir_ / "store"), "--device",
                                             "Capture Vessara"};
  const int before = orthanc_->Instances();
  EXPECT_NE(Forwarder(backfill), 0);
  EXPECT_NE(output_.find("--patients"), std::string::npos);
  std::vector<std::string> with_list = backfill;
  with_list.insert(with_list.end(), {"--patients", Native(dir_ / "patients.csv")});
  std::ofstream(dir_ / "patients.csv") << "PATIENTID,DateOfBirth\n12-3456-789,01/02/1960\n";
  EXPECT_NE(Forwarder(with_list), 0);
  EXPECT_NE(output_.find("row 2: the DateOfBirth \"01/02/1960\" is not YYYY-MM-DD"),
            std::string::npos);
  std::ofstream(dir_ / "patients.csv")
      << "\xEF\xBB\xBFPATIENTID,LastName,FirstName,MiddleName,DateOfBirth,Gender,Phone\r\n"
         "12-3456-789,Παπαδοπούλου,\"Ελένη\",,1960-01-02,F,\"01, \"\"2\"\"\"\r\n"
         "98-7654,Łukasiewicz,Zażółć,Gęślą,,M,\r\n987-654,Other,,,,,\r\n";
  ASSERT_EQ(Forwarder(with_list), 0);
  EXPECT_EQ(orthanc_->Instances(), before + 1);
  for (const char* skipped :
       {"987654_1043_a_b_c_d_e_OD_2017-01-02_09-00-00.bmp: the PATIENTIDs 98-7654, 987-654 share",
        kWindows ? "98-7654" : "linked: a symbolic link",
        "37_1068_a_b_c_d_e_OD_2019-01-01_10-00-00.jpg: no listed patient has the key \"37\""}) {
    EXPECT_NE(output_.find(skipped), std::string::npos) << skipped;
  }
  nothing_refused_arrived();
  const std::vector<json> exam = orthanc_->Exam(1042);
  ASSERT_EQ(exam.size(), 4u);
  std::set<std::string> series;
  for (const json& tags : exam) {
    EXPECT_EQ(tags["PatientID"], "12-3456-789");
    EXPECT_EQ(tags["PatientName"], "Παπαδοπούλου^Ελένη");
    EXPECT_EQ(tags["PatientBirthDate"], "19600102");
    EXPECT_EQ(tags["StudyInstanceUID"], exam[0]["StudyInstanceUID"]);
    series.insert(tags["SeriesInstanceUID"]);
  }
  EXPECT_EQ(series.size(), 3u);
}

// One instance of each class passes dciodvfy; its warnings are shown.
TEST_F(ForwarderTest, InstancesOfBothClassesAreValid) {
  // clang-format off
  const std::tuple<int, const char*, Image, const char*> kClasses[] = {
      {2001, "OP", {"1_2001_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg", "colour.jpg", "R", ""}, "1.2.840.10008.5.1.4.1.1.77.1.5.1"},
      {2002, "SC", {"1_2002_a_b_c_d_e_OS_2016-05-31_14-05-09.jpg", "full.jpg", "L", ""}, "1.2.840.10008.5.1.4.1.1.7"},
      // OP needs the eye: an image of none goes as SC.
      {2003, "OP", {"1_2003_a_b_c_d_e_XX_2016-05-31_14-05-09.jpg", "colour.jpg", "", ""}, "1.2.840.10008.5.1.4.1.1.7"}};
  // clang-format on
  for (const auto& [exam, sop_class, image, uid] : kClasses) {
    WriteJob({{"1", "Doe", "Ann", "", "01/02/1960", "F"}, exam, "Capture Vessara", {image}},
             std::to_string(exam) + ".job");
    ASSERT_EQ(Forwarder({"run", "--once"}, WriteConfig(sop_class)), 0);
    const json tags = orthanc_->Exam(exam).at(0);
    EXPECT_EQ(tags["SOPClassUID"], uid);
    const fs::path file = dir_ / (std::to_string(exam) + ".dcm");
    std::ofstream(file, std::ios::binary)
        << orthanc_->Request("GET", "/instances/" + tags["id"].get<std::string>() + "/file");
    Wait(Spawn({"/usr/bin/dciodvfy", file.string()}, file.string() + ".txt"));
    const std::string report = ReadFile(file.string() + ".txt");
    std::cout << "dciodvfy " << uid << ":\n" << report;
    EXPECT_EQ(report.find("Error"), std::string::npos) << report;
  }
}

// An archive that is down keeps the job until it is back. A forwarder held
// mid-job by a slow archive (2 s an instance) turns a second one away; stopped
// (SIGTERM) it finishes the instance on the wire and says what is left; killed
// (SIGKILL; on Windows TerminateProcess, by taskkill /F), it loses nothing.
// Each image reaches an archive once.
TEST_F(ForwarderTest, JobsSurviveAnArchiveDownAndAForwarderStoppedOrKilled) {
  JobRow row = {{"2", "Roe", "Rick", "", "", ""}, 3001, "Capture Vessara", {}};
  for (int i = 0; i < 5; ++i) {
    row.images.push_back({"2_3001_a_b_c_d_e_OD_2016-05-31_14-05-0" + std::to_string(i) + ".jpg",
                          "colour.jpg", "R", ""});
  }
  WriteJob(row, "1.job");
  orthanc_->Stop();
  EXPECT_EQ(Forwarder({"run", "--once"}), 3);
  EXPECT_TRUE(fs::exists(dir_ / "outbox" / "1.job"));
  const json status = Status();
  ASSERT_EQ(status["pending"].size(), 1u);
  EXPECT_NE(status["pending"][0]["reason"].get<std::string>().find("no association"),
            std::string::npos);
  orthanc_->Start();

  const fs::path slow = WriteConfig("OP", StoreScp({"--sleep-during", "2", "+xa"}));
  const fs::path progress = dir_ / "state" / "progress" / "1.job";
  for (const int signal : {kStop, SIGKILL}) {
    const std::size_t before = Lines(progress);
    const fs::path log = dir_ / ("run-" + std::to_string(signal) + ".log");
    const pid_t forwarder = Spawn(Program({"-c", Native(slow), "run"}), log);
    ASSERT_TRUE(Eventually([&] { return Lines(progress) > before; }));
    if (signal == kStop) {
      EXPECT_EQ(Forwarder({"run", "--once"}), 5);
      std::ofstream(dir_ / "patients.csv") << "PATIENTID\n2\n";
      EXPECT_EQ(Forwarder({"backfill", Native(dir_ / "store"), "--patients",
                           Native(dir_ / "patients.csv")}),
                5);
      EXPECT_NE(output_.find("another forwarder is running"), std::string::npos);
    }
    if (signal == SIGKILL && kWindows) {
      Wait(Spawn({TAVIREX_WINE_RUN, "taskkill", "/F", "/IM", "tavirex-dicom.exe"},
                 dir_ / "taskkill.log"));
    } else {
      kill(-forwarder, signal);
    }
    EXPECT_EQ(Wait(forwarder), signal == kStop || kWindows ? 0 : 128 + SIGKILL);
    EXPECT_TRUE(fs::exists(dir_ / "outbox" / "1.job"));
    const std::size_t sent = Lines(progress);
    EXPECT_EQ(ReadFile(log).find("1.job: " + std::to_string(sent) + " of 5 instances confirmed, " +
                                 std::to_string(5 - sent) + " left") != std::string::npos,
              signal == kStop);
  }
  const std::size_t sent = Lines(progress);
  ASSERT_LT(sent, 5u);
  ASSERT_EQ(Forwarder({"run", "--once"}), 0);
  EXPECT_FALSE(OutboxHasJobs());
  EXPECT_EQ(orthanc_->Exam(3001).size(), 5 - sent);
}

// Only a lost connection holds the queue. Archives that refuse: a class or
// JPEG (storescp's association profiles), an instance "out of resources" (the
// suite's Orthanc for patient FULL), a certificate for another host.
TEST_F(ForwarderTest, OnlyALostConnectionHoldsTheQueue) {
  std::ofstream(dir_ / "scp.cfg") << "[[TransferSyntaxes]]\n[Any]\nTransferSyntax1 = JPEGBaseline\n"
                                     "TransferSyntax2 = LocalEndianExplicit\n[Native]\n"
                                     "TransferSyntax1 = LocalEndianExplicit\n"
                                     "[[PresentationContexts]]\n[NoOP]\nPresentationContext1 = "
                                     "SecondaryCaptureImageStorage\\Any\n[NoJPEG]\n"
                                     "PresentationContext1 = OphthalmicPhotography8BitImageStorage"
                                     "\\Native\n[[Profiles]]\n[NoOP]\nPresentationContexts = "
                                     "NoOP\n[NoJPEG]\nPresentationContexts = NoJPEG\n";
  // Self-signed certificates, one for another host, one for this one.
  const std::string certificates =
      "cd " + dir_.string() + " && for n in other:DNS:archive.example own:IP:127.0.0.1; do " +
      "openssl req -x509 -newkey rsa:2048 -nodes -keyout ${n%%:*}.key -out ${n%%:*}.pem -days 2 " +
      "-subj /CN=x -addext subjectAltName=${n#*:} 2>/dev/null || exit 1; done";
  ASSERT_EQ(std::system(("bash -c '" + certificates + "'").c_str()), 0);
  const std::string cfg = (dir_ / "scp.cfg").string();
  // clang-format off
  const std::tuple<std::vector<std::string>, const char*, int, const char*> kArchives[] = {
      // storescp's arguments (none: the suite's Orthanc), patient, exit code, why the job
      // went to failed/ or is left ("": delivered)
      {{"-xf", cfg, "NoJPEG"}, "1", 0, ""},
      {{"-ic", "+tls", (dir_ / "other.key").string(), (dir_ / "other.pem").string()}, "1", 3, "certificate"},
      {{"-ic", "+tls", (dir_ / "own.key").string(), (dir_ / "own.pem").string()}, "1", 0, ""},
      {{"-xf", cfg, "NoOP"}, "1", 0, "sop_class = SC sends Secondary Capture"},
      {{}, "FULL", 3, "status 0xA700"},
  };
  // clang-format on
  int exam = 4000;
  for (const auto& [scp, patient, exit, why] : kArchives) {
    SCOPED_TRACE(why + (scp.empty() ? "" : " " + scp.front()));
    const int port = scp.empty() ? 0 : StoreScp(scp);
    const std::string job = std::to_string(++exam) + ".job";
    WriteJob({{patient, "Doe", "Ann", "", "", ""},
              exam,
              "Capture Vessara",
              {{std::string(patient) + "_" + std::to_string(exam) +
                    "_a_b_c_d_e_OD_2016-05-31_14-05-09.jpg",
                "colour.jpg", "R", ""}}},
             job);
    EXPECT_EQ(Forwarder({"run", "--once"},
                        WriteConfig(
                            "OP", port,
                            scp.size() > 3 ? "[tls]\nenabled = yes\nca = " + Native(scp[3]) : "")),
              exit);
    const std::string status = Status().dump();
    EXPECT_EQ(fs::exists(dir_ / "outbox" / job), exit == 3);
    EXPECT_NE(status.find(*why ? why : "\"failed\":[]"), std::string::npos) << status;
    fs::remove(dir_ / "outbox" / job);
  }
}

// Every setting that cannot work is refused at start, naming the file, the line
// and the fix.
TEST(ForwarderSettings, InvalidSettingsNameTheirLine) {
  const fs::path file =
      fs::temp_directory_path() / ("tavirex-settings-" + std::to_string(getpid()));
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"[archive]\nport = 79778", ":3: port is a whole number from 1 to 65535"},
      {"[archive]\ncalled_ae = ARCHIVE-OF-PRACTICE",
       ":3: called_ae \"ARCHIVE-OF-PRACTICE\" has 19"},
      {"[archive]\ncalling_ae = TAVI\\REX", ":3: calling_ae \"TAVI\\REX\" holds a character"},
      {"[archive]\ncalled_ae = ORTHANC # archive", ":3: the value of called_ae carries a comment"},
      {"[archive]\nhost = a\nHOST = b", ":4: HOST is set again (first on line 3)"},
      {"[archive]\n[queue]\n[Archive]", ":4: [Archive] is a section again (first on line 2)"},
      {"[tls]\nenabled = yes", ":3: TLS is enabled without ca"},
      {"[tls]\nenabled = yes\nca = /nonexistent/ca.pem", ":4: /nonexistent/ca.pem cannot be read"},
  };
  for (const auto& [text, says] : rows) {
    // With a byte-order mark, as Notepad saves UTF-8: not part of the first key.
    std::ofstream(file) << "\xEF\xBB\xBFoutbox = /srv/outbox\n" << text << "\n";
    try {
      tavirex::dicom::LoadSettings(file);
      ADD_FAILURE() << text;
    } catch (const tavirex::dicom::BadSettings& error) {
      EXPECT_NE(std::string(error.what()).find(file.string() + says), std::string::npos)
          << error.what();
    }
  }
  fs::remove(file);
}

// An outbox or state folder that cannot serve, a setting that cannot work:
// status and run --once say what and how to fix it, with their own exit
// codes; run waits for the outbox (a share mounted later) and says so.
TEST_F(ForwarderTest, AForwarderSetUpWrongSaysSo) {
  const std::tuple<const char*, const char*, int, const char*> kWrong[] = {
      {"rm -r outbox", "status", 4, "/outbox does not exist: mount the share"},
      {"rm -r outbox && touch outbox", "run", 4, "/outbox is not a folder"},
      {"chmod 300 outbox", "status", 4, "/outbox cannot be read by this user"},
      {"chmod 500 outbox", "run", 4, "/outbox cannot be written by this user"},
      {"chmod 500 state", "run", 4, "/state cannot be written"},
      {"sed -i s/^port.*/port=0/ forwarder-OP0.conf", "status", 2, "/forwarder-OP0.conf:6: port"},
  };
  for (const auto& [spoil, command, exit, says] : kWrong) {
    SCOPED_TRACE(spoil);
    if (kWindows && std::string_view(spoil).starts_with("chmod")) continue;
    WriteConfig("OP");
    const std::string shell =
        "cd " + dir_.string() +
        " && rm -rf outbox state && mkdir outbox state && (chown nobody outbox state || true) && " +
        spoil;
    ASSERT_EQ(std::system(shell.c_str()), 0);
    EXPECT_EQ(Forwarder({command, command == std::string("run") ? "--once" : "--json"}, {},
                        kWindows ? 0 : 65534),
              exit);
    EXPECT_NE(output_.find(Native(dir_.string() + says)), std::string::npos);
  }
  WriteConfig("OP");
  ASSERT_EQ(std::system(("cd " + dir_.string() + " && rm -rf outbox state").c_str()), 0);
  const pid_t forwarder = Spawn(Program({"-c", Native(config_), "run"}), dir_ / "run.log");
  EXPECT_TRUE(Eventually([&] {
    const std::string said = ReadFile(dir_ / "run.log");  // two attempts, each said
    return said.find("does not exist") < said.find("trying again") &&
           said.find("trying again") < said.rfind("does not exist");
  }));
  kill(-forwarder, kStop);
  EXPECT_EQ(Wait(forwarder), 0);
}

// Windows paths map by the longest prefix, without regard to case on the
// Windows side; local paths by the root they lie in; nothing leaves a root.
TEST(ForwarderPaths, PathsMapBelowTheStoreRoots) {
  tavirex::dicom::Settings settings;
  settings.paths = {
      {"C:", "/mnt/c"}, {"C:\\Praxo\\Images", "/srv/images"}, {"\\\\server\\share", "/srv/share"}};
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"c:\\praxo\\IMAGES\\OCT\\a.jpg", "/srv/images/OCT/a.jpg"},
      {"C:\\Praxo\\Data\\a.jpg", "/mnt/c/Praxo/Data/a.jpg"},
      {"\\\\SERVER\\Share/OCT/a.jpg", "/srv/share/OCT/a.jpg"},
      {"\\\\server\\shared\\a.jpg", ""},
      {"D:\\a.jpg", ""},
      {"C:\\Praxo\\Images\\..\\a.jpg", "refused"},
      {"C:\\Praxo\\Images\\OCT/../../a.jpg", "refused"},
      {"/srv/images//OCT/./a.jpg", "/srv/images/OCT/a.jpg"},
      {"/srv/images/../a.jpg", "refused"},
      {"/srv/imagesX/a.jpg", "refused"},
      {"/already/local.jpg", "refused"}};
  for (const auto& [path, local] : rows) {
    std::string mapped = "refused";
    try {
      const auto place = tavirex::dicom::MapStorePath(settings, path);
      mapped = place ? place->Local().string() : "";
    } catch (const tavirex::dicom::Refused&) {
    }
    EXPECT_EQ(mapped, local) << path;
  }
}

}  // namespace
