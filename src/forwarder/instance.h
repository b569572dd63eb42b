// One stored image as one DICOM instance: the pixels as the image carries
// them, the attributes from the job and the stored name, the UIDs derived
// from names so that sending again stores nothing twice.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "forwarder/job.h"
#include "forwarder/settings.h"
#include "forwarder/store.h"

namespace tavirex::dicom {

// "2.25." and the decimal value of the name-based (SHA-1, version 5) UUID of
// name.
std::string NameUid(const std::string& name);

// The SOP Instance UID of a stored image, from its stored name alone: the
// same image sent again is the same instance.
std::string InstanceUid(const std::string& stored_name);

struct Instance {
  std::unique_ptr<DcmDataset> dataset;
  std::string sop_class_uid, sop_instance_uid, transfer_syntax_uid;
  std::string stored_name;
};

// An ISO date "YYYY-MM-DD" as DICOM's YYYYMMDD; empty for anything else.
std::string DicomDateOfIso(const std::string& iso);

// Refuses an image that may not be sent under the job's patient: a PATIENTID
// DICOM cannot carry as it is (empty, over 64 characters, a backslash or a
// control character), or a stored name whose key is not that patient's (as
// Review matches names).
void CheckIdentity(const Job& job, const std::string& stored_name);

// The instance of the number-th (1-based) file of job, read from the store;
// throws Refused when it cannot become one.
Instance MakeInstance(const Job& job, const StorePath& file, int number, SopClass sop_class,
                      int max_megapixels);

}  // namespace tavirex::dicom
