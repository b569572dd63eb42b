#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "forwarder/instance.h"
#include "forwarder/send.h"
#include "vocabulary/stored_name.h"
#include "winrules/utf8.h"

namespace tavirex::dicom {
namespace fs = std::filesystem;
namespace {

// The rows of a CSV file: fields split at commas, a field in double quotes
// may hold commas, line breaks and "" for a quote; blank lines are skipped.
std::vector<std::vector<std::string>> CsvRows(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  const auto end_row = [&] {
    row.push_back(std::move(field));
    field.clear();
    if (row.size() > 1 || !row[0].empty()) rows.push_back(std::move(row));
    row.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += c;
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      end_row();
    } else {
      field += c;
    }
  }
  if (quoted) throw std::runtime_error("a quote is not closed");
  end_row();
  return rows;
}

// The practice's patient list: a header row naming the host's properties,
// then a patient a row, each as the host would describe it in a job.
std::vector<Job> ReadPatients(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("it cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  const std::vector<std::vector<std::string>> rows = CsvRows(text.str());
  const std::vector<std::string> header = rows.empty() ? std::vector<std::string>{} : rows[0];
  const auto column = [&](const char* name) {
    const auto it =
        std::ranges::find_if(header, [&](const auto& h) { return EqualsIgnoreCase(h, name); });
    return it == header.end() ? -1 : static_cast<int>(it - header.begin());
  };
  const int id = column("PATIENTID");
  if (id < 0) {
    throw std::runtime_error("it has no header row with a PATIENTID column");
  }
  std::vector<Job> patients;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const std::vector<std::string>& row = rows[r];
    if (row.size() != header.size()) {
      throw std::runtime_error("row " + std::to_string(r + 1) + " has " +
                               std::to_string(row.size()) + " fields, the header " +
                               std::to_string(header.size()));
    }
    const auto value = [&](const char* name) {
      const int at = column(name);
      return at < 0 ? std::string() : row[at];
    };
    Job& patient = patients.emplace_back();
    patient.PATIENTID = row[id];
    patient.LastName = value("LastName");
    patient.FirstName = value("FirstName");
    patient.MiddleName = value("MiddleName");
    patient.DateOfBirth = value("DateOfBirth");
    patient.BirthDate = patient.DateOfBirth;
    if (!patient.BirthDate->empty() && DicomDateOfIso(*patient.BirthDate).empty()) {
      throw std::runtime_error("row " + std::to_string(r + 1) + ": the DateOfBirth \"" +
                               *patient.BirthDate + "\" is not YYYY-MM-DD");
    }
    patient.Gender = value("Gender");
  }
  return patients;
}

}  // namespace

BackfillResult Backfill(const Settings& settings, const fs::path& folder,
                        const fs::path& patient_list, const std::string& device,
                        const std::atomic<bool>& stop,
                        const std::function<void(std::size_t, std::size_t)>& progress) {
  BackfillResult result;
  std::map<std::string, std::vector<const Job*>> listed;  // by patient key
  std::vector<Job> patients;
  try {
    patients = ReadPatients(patient_list);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("the patient list " + patient_list.string() + ": " + error.what());
  }
  for (const Job& patient : patients) listed[MakePatID(patient.PATIENTID)].push_back(&patient);
  const std::optional<StorePath> place = MapStorePath(settings, fs::absolute(folder).string());
  const std::vector<std::string> files = StoreFiles(OpenStoreFolder(place.value()), result.skipped);
  // One job per exam, as the capture would have written it.
  std::deque<Job> jobs;
  std::vector<Item> items;
  std::map<std::string, std::pair<Job*, int>> exams;
  for (const std::string& name : files) {
    const StoredName stored(name);
    if (!stored.IsComplete()) {
      result.skipped.push_back(name + ": not a stored name (too few fields)");
      continue;
    }
    const auto patient = listed.find(stored.PatID());
    if (patient == listed.end() || patient->second.size() != 1) {
      std::string ids;
      if (patient != listed.end()) {
        for (const Job* p : patient->second) ids += (ids.empty() ? "" : ", ") + p->PATIENTID;
      }
      result.skipped.push_back(
          name + ": " +
          (ids.empty() ? "no listed patient has" : "the PATIENTIDs " + ids + " share") +
          " the key \"" + stored.PatID() + "\"");
      continue;
    }
    try {
      const std::string key = stored.PatID() + "_" + stored.Exam();
      auto [it, added] = exams.try_emplace(key, nullptr, 0);
      if (added) {
        Job& job = jobs.emplace_back(*patient->second[0]);
        job.ExamRecNum = std::stoi(stored.Exam());
        job.DeviceName = device;
        it->second.first = &job;
      }
      items.push_back({it->second.first, {place->root, place->below / name}, ++it->second.second});
    } catch (const std::exception&) {
      result.skipped.push_back(name + ": the exam number is not a number");
    }
  }
  Archive archive(settings);
  std::size_t done = 0;
  progress(done, items.size());
  SendItems(
      archive, settings, items,
      [&](std::size_t) {
        ++result.sent;
        progress(++done, items.size());
      },
      [&](std::size_t i, const std::string& reason) {
        result.skipped.push_back(items[i].file.Name() + ": " + reason);
        progress(++done, items.size());
        return true;
      },
      stop);
  return result;
}

}  // namespace tavirex::dicom
