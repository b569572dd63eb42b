#include "forwarder/instance.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcitem.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmdata/libi2d/i2d.h"
#include "dcmtk/dcmdata/libi2d/i2dbmps.h"
#include "dcmtk/dcmdata/libi2d/i2dplop.h"
#include "dcmtk/dcmdata/libi2d/i2dplsc.h"
#include "dcmtk/ofstd/ofuuid.h"
#include "vocabulary/stored_name.h"
#include "winrules/utf8.h"
#include "winrules/vb_date.h"
#include "winrules/vb_string.h"

namespace tavirex::dicom {
namespace {

// A file's bytes or a frame's pixels, in a buffer of new[] that DCMTK's
// converter takes over and deletes.
struct Bytes {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  const unsigned char* get() const { return reinterpret_cast<const unsigned char*>(data.get()); }
  unsigned char operator[](std::size_t i) const { return get()[i]; }
};

// The namespace of Tavirex's name-based UIDs.
constexpr std::array<unsigned char, 16> kUidNamespace = {
    0x27, 0x58, 0xf3, 0xb1, 0xa0, 0xc2, 0x43, 0xc1, 0xa3, 0x9b, 0xc2, 0xf4, 0x81, 0xda, 0x2d, 0x45};

// One 8-bit frame as DCMTK's converter takes it: the image's size and
// colour model, and its bytes, as they are for a compressed frame.
class Frame : public I2DImgSource {
 public:
  OFCondition readPixelData(Uint16& rows, Uint16& cols, Uint16& samples, OFString& photometric,
                            Uint16& bits_allocated, Uint16& bits_stored, Uint16& high_bit,
                            Uint16& representation, Uint16& planar, Uint16& aspect_h,
                            Uint16& aspect_v, char*& data, Uint32& length,
                            E_TransferSyntax& ts) override {
    rows = rows_;
    cols = cols_;
    samples = samples_;
    photometric = photometric_.c_str();
    bits_allocated = bits_stored = 8;
    high_bit = 7;
    representation = planar = 0;
    aspect_h = aspect_v = 1;
    length = static_cast<Uint32>(frame_.size);
    data = frame_.data.release();
    ts = ts_;
    return EC_Normal;
  }
  OFCondition getLossyComprInfo(OFBool& lossy, OFString& method) const override {
    lossy = ts_ == EXS_JPEGProcess1;
    method = lossy ? "ISO_10918_1" : "";
    return EC_Normal;
  }

 protected:
  Bytes frame_;
  E_TransferSyntax ts_ = EXS_LittleEndianExplicit;
  Uint16 rows_ = 0, cols_ = 0, samples_ = 0;
  std::string photometric_;
};

// A JPEG carried as it is: the whole file is the frame. Baseline only, the
// transfer syntax the forwarder proposes; the photometric interpretation
// follows the JPEG's own components.
class JpegFile : public Frame {
 public:
  explicit JpegFile(Bytes bytes) {
    ts_ = EXS_JPEGProcess1;
    Parse(bytes);
    frame_ = std::move(bytes);
  }
  OFString inputFormat() const override { return "JPEG"; }

 private:
  void Parse(const Bytes& bytes) {
    bool adobe_rgb = false;
    std::size_t at = 2;
    while (at + 4 <= bytes.size) {
      if (bytes[at] != 0xFF) throw Refused("the JPEG's markers are damaged");
      const unsigned marker = bytes[at + 1];
      if (marker == 0xFF) {
        ++at;
        continue;
      }
      const std::size_t size = bytes[at + 2] << 8 | bytes[at + 3];
      const unsigned char* segment = bytes.get() + at + 4;
      if (at + 2 + size > bytes.size) throw Refused("the JPEG is cut short");
      if (marker == 0xEE && size >= 14 && std::memcmp(segment, "Adobe", 5) == 0) {
        adobe_rgb = segment[11] == 0;  // transform 0: the components are RGB
      } else if (marker == 0xC0) {
        if (size < 8 || segment[0] != 8) throw Refused("the JPEG has more than 8 bits a sample");
        rows_ = static_cast<Uint16>(segment[1] << 8 | segment[2]);
        cols_ = static_cast<Uint16>(segment[3] << 8 | segment[4]);
        samples_ = segment[5];
        if (samples_ == 1) {
          photometric_ = "MONOCHROME2";
        } else if (samples_ == 3 && size >= 8u + 9u) {
          const unsigned char* c = segment + 6;  // id, sampling, table for each component
          const bool rgb = adobe_rgb || (c[0] == 'R' && c[3] == 'G' && c[6] == 'B');
          // YCbCr, subsampled or not: the photographic classes know only
          // YBR_FULL_422 for it, and decoders take the sampling from the
          // frame header.
          photometric_ = rgb ? "RGB" : "YBR_FULL_422";
        } else {
          throw Refused("the JPEG has " + std::to_string(samples_) +
                        " components (1 or 3 can be archived)");
        }
        return;
      } else if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                 marker != 0xCC) {
        throw Refused("the JPEG is not baseline (progressive, extended or lossless coding)");
      }
      at += 2 + size;
    }
    throw Refused("the JPEG has no frame header");
  }
};

// A PNG decoded to 8-bit grey or RGB pixels (an alpha channel is composed
// onto black).
class PngFile : public Frame {
 public:
  explicit PngFile(const Bytes& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.get(), bytes.size)) {
      throw Refused(std::string("the PNG cannot be read: ") + image.message);
    }
    const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    image.format = colour ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    if (image.width > 65535 || image.height > 65535) {
      png_image_free(&image);
      throw Refused("the PNG is larger than 65535 pixels a side");
    }
    frame_.size = PNG_IMAGE_SIZE(image);
    frame_.data = std::make_unique_for_overwrite<char[]>(frame_.size);
    if (!png_image_finish_read(&image, nullptr, frame_.data.get(), 0, nullptr)) {
      throw Refused(std::string("the PNG cannot be decoded: ") + image.message);
    }
    rows_ = static_cast<Uint16>(image.height);
    cols_ = static_cast<Uint16>(image.width);
    samples_ = colour ? 3 : 1;
    photometric_ = colour ? "RGB" : "MONOCHROME2";
  }
  OFString inputFormat() const override { return "PNG"; }
};

Bytes ReadAll(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Refused(std::string("cannot be read: ") + std::strerror(errno));
  struct stat info {};
  // A regular file in one read; a pipe or a device in growing chunks.
  std::size_t capacity = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
                             ? static_cast<std::size_t>(info.st_size) + 1
                             : std::size_t{1} << 20;
  Bytes bytes{std::make_unique_for_overwrite<char[]>(capacity), 0};
  for (;;) {
    if (bytes.size == capacity) {
      auto larger = std::make_unique_for_overwrite<char[]>(capacity *= 2);
      std::memcpy(larger.get(), bytes.data.get(), bytes.size);
      bytes.data = std::move(larger);
    }
    const ssize_t got = ::read(fd, bytes.data.get() + bytes.size, capacity - bytes.size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const int error = got < 0 ? errno : 0;
      ::close(fd);
      if (error != 0) throw Refused(std::string("cannot be read: ") + std::strerror(error));
      return bytes;
    }
    bytes.size += static_cast<std::size_t>(got);
  }
}

bool StartsWith(const Bytes& bytes, std::string_view magic) {
  return bytes.size >= magic.size() && std::memcmp(bytes.get(), magic.data(), magic.size()) == 0;
}

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

Instance MakeInstance(const Job& job, const std::filesystem::path& local, int number,
                      SopClass sop_class) {
  const std::string stored = local.filename().string();
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

  Bytes bytes = ReadAll(local);
  std::unique_ptr<I2DImgSource> source;
  if (StartsWith(bytes, "\xFF\xD8\xFF")) {
    source = std::make_unique<JpegFile>(std::move(bytes));
  } else if (StartsWith(bytes, "\x89PNG\r\n\x1A\n")) {
    source = std::make_unique<PngFile>(bytes);
  } else if (StartsWith(bytes, "BM")) {
    source = std::make_unique<I2DBmpSource>();
    source->setImageFile(local.c_str());
  } else {
    throw Refused("not a JPEG, PNG or BMP image");
  }
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
