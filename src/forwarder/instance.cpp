#include "forwarder/instance.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcitem.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmdata/libi2d/i2d.h"
#include "dcmtk/dcmdata/libi2d/i2dplop.h"
#include "dcmtk/dcmdata/libi2d/i2dplsc.h"
#include "dcmtk/ofstd/ofuuid.h"
#include "forwarder/image_file.h"
#include "vocabulary/stored_name.h"
#include "winrules/utf8.h"
#include "winrules/vb_date.h"
#include "winrules/vb_string.h"

namespace tavirex::dicom {
namespace {

// The namespace of Tavirex's name-based UIDs.
constexpr std::array<unsigned char, 16> kUidNamespace = {
    0x27, 0x58, 0xf3, 0xb1, 0xa0, 0xc2, 0x43, 0xc1, 0xa3, 0x9b, 0xc2, 0xf4, 0x81, 0xda, 0x2d, 0x45};

std::string Digits(int value, int width) {
  std::string text = std::to_string(value);
  return std::string(text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0, '0') +
         text;
}

// A text as the regional rules read a date (the VB date parser); only a
// whole day, or only a time, as asked.
std::optional<CivilDateTime> ParseVbDate(const std::string& text, bool want_day) {
  const std::optional<VbDate> date = UsParseDate(text);
  if (!date) return std::nullopt;
  if (want_day ? !HasDatePart(*date) : HasDatePart(*date)) return std::nullopt;
  return ToCivil(*date);
}

std::string DicomDate(const CivilDateTime& c) {
  return Digits(c.year, 4) + Digits(c.month, 2) + Digits(c.day, 2);
}

std::string DicomTime(const CivilDateTime& c) {
  return Digits(c.hour, 2) + Digits(c.minute, 2) + Digits(c.second, 2);
}

// A value of the host's text as DICOM holds it: each of `delimiters`, a
// control character and a byte that starts no character become a space, and
// the value is cut before the first character that would take it past
// max_bytes (64 bytes of UTF-8 are at most 64 characters, whichever an archive
// counts).
std::string DicomText(std::string_view text, std::string_view delimiters, std::size_t max_bytes) {
  std::string value;
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Char c = DecodeUtf8(text, at);
    const char32_t u = c.code_point;
    const bool blank = u == kNotUtf8 || u < 0x20 || (u >= 0x7F && u < 0xA0) ||
                       (u >= 0xD800 && u <= 0xDFFF) ||
                       (u < 0x80 && delimiters.find(static_cast<char>(u)) != std::string::npos);
    const std::size_t length = blank ? 1 : c.length;
    if (value.size() + length > max_bytes) break;
    value += blank ? std::string_view(" ") : text.substr(at, c.length);
    at += c.length;
  }
  return value;
}

// LO: 64 bytes, no backslash.
std::string LongText(std::string_view text) { return DicomText(text, "\\", 64); }

// The components' own delimiters cannot be part of a name.
std::string PersonName(const Job& job) {
  constexpr std::string_view kPn = "^=\\";
  std::string name =
      DicomText(DicomText(job.LastName, kPn, 64) + "^" + DicomText(job.FirstName, kPn, 64) + "^" +
                    DicomText(job.MiddleName, kPn, 64),
                "", 64);
  while (!name.empty() && (name.back() == '^' || name.back() == ' ')) name.pop_back();
  return name;
}

std::string Sex(const std::string& gender) {
  const std::string g = UpperAscii(gender);
  if (g == "M" || g == "MALE") return "M";
  if (g == "F" || g == "FEMALE") return "F";
  if (g == "O" || g == "OTHER") return "O";
  return "";
}

std::string Laterality(const std::string& eye) {
  const std::string e = UpperAscii(eye);
  return e == "OD" ? "R" : e == "OS" ? "L" : e == "OU" ? "B" : "";
}

void Put(DcmItem& item, const DcmTagKey& tag, const std::string& value) {
  if (item.putAndInsertString(tag, value.c_str()).bad()) {
    throw Refused("the value \"" + value + "\" cannot be set for " + DcmTag(tag).getTagName());
  }
}

// A code sequence with one item, written here because DCMTK's default item
// for the anatomic region has its value and meaning the wrong way round.
void PutCode(DcmDataset& dataset, const DcmTagKey& sequence, const char* value, const char* scheme,
             const char* meaning) {
  dataset.findAndDeleteElement(sequence);
  DcmItem* item = nullptr;
  if (dataset.findOrCreateSequenceItem(sequence, item, 0).bad() || item == nullptr) {
    throw Refused("the code sequence cannot be made");
  }
  Put(*item, DCM_CodeValue, value);
  Put(*item, DCM_CodingSchemeDesignator, scheme);
  Put(*item, DCM_CodeMeaning, meaning);
}

std::string GetString(DcmDataset& dataset, const DcmTagKey& tag) {
  OFString value;
  dataset.findAndGetOFString(tag, value);
  return value.c_str();
}

}  // namespace

std::string DicomDateOfIso(const std::string& iso) {
  const std::string digits = iso.size() == 10 && iso[4] == '-' && iso[7] == '-'
                                 ? iso.substr(0, 4) + iso.substr(5, 2) + iso.substr(8, 2)
                                 : "";
  if (digits.size() != 8 || digits.find_first_not_of("0123456789") != std::string::npos) return "";
  const int month = std::stoi(digits.substr(4, 2)), day = std::stoi(digits.substr(6, 2));
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 ? digits : "";
}

std::string NameUid(const std::string& name) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_sha1(), nullptr);
  EVP_DigestUpdate(context, kUidNamespace.data(), kUidNamespace.size());
  EVP_DigestUpdate(context, name.data(), name.size());
  EVP_DigestFinal_ex(context, digest, &size);
  EVP_MD_CTX_free(context);
  OFUUID::BinaryRepresentation uuid;
  std::memcpy(uuid.value, digest, sizeof uuid.value);
  uuid.value[6] = static_cast<Uint8>((uuid.value[6] & 0x0F) | 0x50);  // version 5
  uuid.value[8] = static_cast<Uint8>((uuid.value[8] & 0x3F) | 0x80);  // RFC 4122 variant
  OFString oid;
  return OFUUID(uuid).toString(oid, OFUUID::ER_RepresentationOID).c_str();
}

std::string InstanceUid(const std::string& stored_name) {
  return NameUid("instance\n" + stored_name);
}

void CheckIdentity(const Job& job, const std::string& stored_name) {
  const std::string& id = job.PATIENTID;
  const auto characters = std::ranges::count_if(id, [](char b) { return (b & 0xC0) != 0x80; });
  const bool control = std::ranges::any_of(
      id, [](char b) { return b == '\\' || static_cast<unsigned char>(b) < 0x20 || b == 0x7F; });
  if (id.empty() || characters > 64 || control) {
    throw Refused("PATIENTID \"" + id + "\" cannot be the archive's Patient ID as it is (" +
                  (id.empty() ? "empty"
                   : control  ? "a backslash or a control character"
                              : "longer than 64 characters") +
                  ")");
  }
  const std::string key = MakePatID(id);
  if (!IsPatientFile(stored_name, key)) {
    throw Refused(stored_name + " carries the key \"" + StoredName(stored_name).PatID() +
                  "\" of another patient, not \"" + key + "\" of PATIENTID \"" + id + "\"");
  }
}

Instance MakeInstance(const Job& job, const StorePath& file, int number, SopClass sop_class,
                      int max_megapixels) {
  const std::string stored = file.Name();
  const StoredName name(stored);
  if (!name.IsComplete()) throw Refused("not a stored name (too few fields)");
  CheckIdentity(job, stored);
  // The UIDs stay those of the key, so that nothing sent before is sent again.
  const std::string patient_key = MakePatID(job.PATIENTID);
  const std::string exam = std::to_string(job.ExamRecNum);
  const std::string& eye = name.Eye();
  const std::string& date = name.Date();
  std::string time = name.Time();
  time = time.substr(0, time.find('.'));  // the extension rides on the time field

  const std::unique_ptr<I2DImgSource> source = ReadImage(OpenStoreFile(file), max_megapixels);
  // Ophthalmic photography needs the eye (Image Laterality, type 1): an image
  // of no known eye goes as Secondary Capture.
  const std::string laterality = Laterality(eye);
  if (laterality.empty()) sop_class = SopClass::kSecondaryCapture;
  std::unique_ptr<I2DOutputPlug> plug;
  if (sop_class == SopClass::kOphthalmicPhotography) {
    plug = std::make_unique<I2DOutputPlugOphthalmicPhotography>();
  } else {
    plug = std::make_unique<I2DOutputPlugSC>();
  }
  plug->setValidityChecking(OFFalse, OFFalse, OFFalse);
  Image2Dcm converter;
  converter.setValidityChecking(OFFalse, OFFalse, OFFalse);
  DcmDataset* made = nullptr;
  E_TransferSyntax xfer = EXS_Unknown;
  OFCondition status = converter.convertFirstFrame(source.get(), plug.get(), 1, made, xfer);
  std::unique_ptr<DcmDataset> dataset(made);
  if (status.good()) status = converter.updateOffsetTable();
  if (status.good()) status = converter.updateLossyCompressionInfo(source.get(), 1, made);
  if (status.bad() || !dataset) {
    throw Refused(std::string("cannot be converted: ") + status.text());
  }

  std::optional<CivilDateTime> day = ParseVbDate(date, true);
  std::optional<CivilDateTime> clock = ParseVbDate(time, false);
  if (!day && job.captured.size() >= 19) {  // no readable date in the name: the capture's
    day = ParseVbDate(job.captured.substr(0, 10), true);
    clock = ParseVbDate(job.captured.substr(11, 8), false);
  }
  const std::string study_uid = NameUid("study\n" + patient_key + "\n" + exam);
  const std::string device =
      job.DeviceName.starts_with("Capture ") ? job.DeviceName.substr(8) : job.DeviceName;
  DcmDataset& d = *dataset;
  Put(d, DCM_SpecificCharacterSet, "ISO_IR 192");
  Put(d, DCM_SOPInstanceUID, InstanceUid(stored));
  Put(d, DCM_StudyInstanceUID, study_uid);
  Put(d, DCM_SeriesInstanceUID, NameUid("series\n" + study_uid + "\n" + device + "\n" + eye));
  Put(d, DCM_PatientName, PersonName(job));
  Put(d, DCM_PatientID, job.PATIENTID);
  // A job written before the plug-in read the date itself: the US reading.
  const std::optional<CivilDateTime> birth =
      job.BirthDate ? std::nullopt : ParseVbDate(job.DateOfBirth, true);
  Put(d, DCM_PatientBirthDate,
      job.BirthDate ? DicomDateOfIso(*job.BirthDate)
      : birth       ? DicomDate(*birth)
                    : "");
  Put(d, DCM_PatientSex, Sex(job.Gender));
  Put(d, DCM_StudyID, exam);
  Put(d, DCM_AccessionNumber, exam);
  Put(d, DCM_ReferringPhysicianName, "");
  Put(d, DCM_StudyDate, day ? DicomDate(*day) : "");
  Put(d, DCM_StudyTime, day && clock ? DicomTime(*clock) : "");
  Put(d, DCM_ContentDate, day ? DicomDate(*day) : "");
  Put(d, DCM_ContentTime, day && clock ? DicomTime(*clock) : "");
  Put(d, DCM_AcquisitionDateTime, day && clock ? DicomDate(*day) + DicomTime(*clock) : "");
  Put(d, DCM_Modality, "OP");
  Put(d, DCM_SeriesNumber, laterality == "R" ? "1" : laterality == "L" ? "2" : "3");
  Put(d, DCM_SeriesDescription, LongText(device.empty() ? eye : device + " " + eye));
  Put(d, DCM_InstanceNumber, std::to_string(number));
  if (laterality.empty()) {
    d.insertEmptyElement(DCM_Laterality);  // the series' eye, unknown (type 2C)
  } else {
    Put(d, DCM_ImageLaterality, laterality);
  }
  Put(d, DCM_Manufacturer, LongText(job.CompanyName));
  Put(d, DCM_ManufacturerModelName, LongText(job.Model));
  Put(d, DCM_ImageType, "ORIGINAL\\PRIMARY");
  Put(d, DCM_BurnedInAnnotation, "NO");
  Put(d, DCM_PatientOrientation, "");
  if (GetString(d, DCM_PhotometricInterpretation) == "MONOCHROME2") {
    Put(d, DCM_PresentationLUTShape, "IDENTITY");
  }
  PutCode(d, DCM_AnatomicRegionSequence, "81745001", "SCT", "Eye");
  if (sop_class == SopClass::kSecondaryCapture) {
    Put(d, DCM_ConversionType, "WSD");
  } else {
    // A multi-frame class: one frame, taken at no trigger.
    Put(d, DCM_SynchronizationFrameOfReferenceUID, NameUid("synchronization\n" + study_uid));
    Put(d, DCM_SynchronizationTrigger, "NO TRIGGER");
    Put(d, DCM_AcquisitionTimeSynchronized, "N");
    // What the export does not say stays empty (type 2).
    for (const DcmTagKey& tag :
         {DCM_PatientEyeMovementCommanded, DCM_HorizontalFieldOfView, DCM_EmmetropicMagnification,
          DCM_IntraOcularPressure, DCM_PupilDilated, DCM_DetectorType}) {
      d.insertEmptyElement(tag);
    }
    for (const DcmTagKey& tag :
         {DCM_RefractiveStateSequence, DCM_IlluminationTypeCodeSequence,
          DCM_LightPathFilterTypeStackCodeSequence, DCM_ImagePathFilterTypeStackCodeSequence,
          DCM_LensesCodeSequence}) {
      d.insertEmptyElement(tag);
    }
    PutCode(d, DCM_AcquisitionDeviceTypeCodeSequence, "392012008", "SCT",
            "Optical Coherence Tomography Scanner");
  }

  Instance instance;
  instance.sop_class_uid = GetString(d, DCM_SOPClassUID);
  instance.sop_instance_uid = GetString(d, DCM_SOPInstanceUID);
  instance.transfer_syntax_uid = DcmXfer(xfer).getXferID();
  instance.stored_name = stored;
  instance.dataset = std::move(dataset);
  return instance;
}

}  // namespace tavirex::dicom
