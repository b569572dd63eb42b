// tavirex-dicom: sends the images of the plug-in's outbox jobs to a DICOM
// archive.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "cli/cli.h"
#include "dcmtk/config/osconfig.h"
#include "dcmtk/oflog/oflog.h"
#include "forwarder/outbox.h"
#include "forwarder/send.h"
#include "forwarder/system.h"
#include "hostenv/system.h"

namespace {

using namespace tavirex::dicom;

std::atomic<bool> g_stop{false};

void SleepUnlessStopped(int seconds, const std::atomic<bool>& stop) {
  for (int tenths = 0; tenths < seconds * 10 && !stop; ++tenths) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// Exit codes (README, "Sending images to a DICOM archive").
enum Exit {
  kDone = 0,
  kFailure = 1,   // the command line is refused, or an unexpected failure
  kSettings = 2,  // the settings file cannot be read or holds an invalid setting
  kLeft = 3,      // jobs left for later: the archive cannot take them now
  kFolders = 4,   // the outbox or the state folder cannot serve
  kLocked = 5,    // another forwarder works on the outbox
};

// run watches the outbox until stop is set (by a signal, or a service's
// control handler); an outbox not there yet (a share not mounted) is waited
// for like an archive that cannot be reached.
int Run(const Settings& settings, bool once, const std::atomic<bool>& stop) {
  int delay = settings.poll_seconds;
  std::optional<OutboxLock> lock;
  for (;;) {
    PassResult pass;
    try {
      CheckFolders(settings);
      if (!lock) lock.emplace(settings.outbox);
      pass = RunPass(settings, stop);
    } catch (const FolderProblem& problem) {
      if (once) throw;
      pass.reason = problem.what();
    }
    if (pass.delivered + pass.failed > 0 || !pass.reason.empty()) {
      std::cerr << "tavirex-dicom: " << pass.delivered << " delivered, " << pass.failed
                << " failed, " << pass.pending << " pending"
                << (pass.reason.empty() ? "" : " (" + pass.reason + ")") << "\n";
    }
    if (stop) {
      std::cerr << "tavirex-dicom: stopped after the instance on the wire; "
                << (pass.stopped.empty() ? "" : pass.stopped + "; ") << pass.pending
                << " job(s) left in the outbox\n";
      return kDone;
    }
    if (once) return pass.pending > 0 ? kLeft : kDone;
    // An archive or outbox that cannot be reached is asked again less and
    // less often.
    delay = pass.reason.empty() ? settings.poll_seconds
                                : std::min(std::max(delay, 1) * 2, settings.retry_max_seconds);
    if (!pass.reason.empty()) std::cerr << "tavirex-dicom: trying again in " << delay << " s\n";
    SleepUnlessStopped(delay, stop);
  }
}

int ShowStatus(const Settings& settings, bool json) {
  const Status status = ReadStatus(settings);
  if (json) {
    nlohmann::json out = {{"pending", nlohmann::json::array()},
                          {"failed", nlohmann::json::array()},
                          {"last_delivery", nullptr}};
    for (const auto& p : status.pending) {
      out["pending"].push_back(
          {{"job", p.job}, {"files", p.files}, {"sent", p.sent}, {"reason", p.reason}});
    }
    for (const auto& f : status.failed)
      out["failed"].push_back({{"job", f.job}, {"reason", f.reason}});
    if (!status.last_delivery_job.empty()) {
      out["last_delivery"] = {{"time", status.last_delivery_time},
                              {"job", status.last_delivery_job},
                              {"instances", status.last_delivery_instances}};
    }
    std::cout << out.dump(2) << "\n";
    return kDone;
  }
  std::cout << "Pending jobs: " << status.pending.size() << "\n";
  for (const auto& p : status.pending) {
    std::cout << "  " << p.job << "  " << p.sent << " of " << p.files << " sent"
              << (p.reason.empty() ? "" : "  " + p.reason) << "\n";
  }
  std::cout << "Failed jobs: " << status.failed.size() << "\n";
  for (const auto& f : status.failed) std::cout << "  " << f.job << "  " << f.reason << "\n";
  std::cout << "Last delivery: "
            << (status.last_delivery_job.empty()
                    ? "none"
                    : status.last_delivery_time + "  " + status.last_delivery_job + "  " +
                          std::to_string(status.last_delivery_instances) + " instances")
            << "\n";
  return kDone;
}

void ShowProgress(std::size_t done, std::size_t total) {
  if (!ErrorsGoToTerminal() || total == 0) return;
  constexpr std::size_t kWidth = 40;
  const std::size_t filled = done * kWidth / total;
  std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] "
            << done << "/" << total << (done == total ? "\n" : "") << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  KeepNewFilesPrivate();  // jobs carry patient data
  OFLog::configure(std::getenv("TAVIREX_DICOM_DEBUG") ? OFLogger::DEBUG_LOG_LEVEL
                                                      : OFLogger::WARN_LOG_LEVEL);
  CLI::App app{"Sends the images of Tavirex's outbox jobs to a DICOM archive.", "tavirex-dicom"};
  app.set_version_flag("--version", std::string("tavirex-dicom ") + TAVIREX_VERSION);
  std::string config = Environment("TAVIREX_DICOM_CONFIG").value_or(DefaultSettingsFile().string());
  app.add_option("-c,--config", config, "settings file (TAVIREX_DICOM_CONFIG)")
      ->capture_default_str();
  app.require_subcommand(1);
  bool once = false;
  bool json = false;
  std::string folder;
  std::string device;
  CLI::App* run = app.add_subcommand("run", "send the outbox's jobs, watching it until stopped");
  run->add_flag("--once", once, "one pass over the outbox, then exit (3: jobs left for later)");
#ifdef _WIN32
  bool service = false;
  run->add_flag("--service", service, "as the Windows service tavirex-dicom (its command line)")
      ->excludes("--once");
#endif
  CLI::App* status = app.add_subcommand("status", "pending and failed jobs, the last delivery");
  status->add_flag("--json", json, "as JSON");
  CLI::App* backfill = app.add_subcommand(
      "backfill", "send the stored images of a folder, each under its listed patient");
  backfill->add_option("STORE_FOLDER", folder, "the store folder (only read)")
      ->required()
      ->check(CLI::ExistingDirectory);
  std::string patients;
  backfill
      ->add_option("--patients", patients,
                   "the practice's patient list: its patient table exported as CSV")
      ->required()
      ->check(CLI::ExistingFile);
  backfill->add_option("--device", device, "the device's name, as in \"Capture Vessara\"");
  if (std::optional<int> exit = tavirex::cli::ParseCommandLine(
          app, tavirex::ProgramArguments(argc, argv), std::cout, std::cerr, 1)) {
    return *exit;
  }

  const auto fail = [](const std::exception& error, int code) {
    std::cerr << "tavirex-dicom: " << error.what() << "\n";
    return code;
  };
  const auto execute = [&](const std::function<void()>& running) -> int {
    try {
      const Settings settings = LoadSettings(config);
      running();
      if (*run) return Run(settings, once, g_stop);
      CheckFolders(settings);
      if (*status) return ShowStatus(settings, json);
      const OutboxLock lock(settings.outbox);
      const BackfillResult result =
          Backfill(settings, folder, patients, device, g_stop, ShowProgress);
      for (const std::string& skipped : result.skipped) std::cerr << "skipped " << skipped << "\n";
      std::cerr << "tavirex-dicom: " << result.sent << " instances sent, " << result.skipped.size()
                << " files skipped\n";
      return kDone;
    } catch (const BadSettings& error) {
      return fail(error, kSettings);
    } catch (const Unreachable& error) {
      return fail(error, kLeft);
    } catch (const FolderProblem& error) {
      return fail(error, kFolders);
    } catch (const AnotherForwarder& error) {
      return fail(error, kLocked);
    } catch (const std::exception& error) {
      return fail(error, kFailure);
    }
  };
#ifdef _WIN32
  // A service takes no console events: a user logging off must not stop it.
  if (service) return RunAsService(g_stop, execute);
#endif
  WatchStopRequests(g_stop);
  return execute([] {});
}
