// Checks the Windows build of the forwarder's libraries (scripts/windows-deps)
// where they will run: libpng and zlib round-trip an image, DCMTK converts a
// BMP file to a DICOM instance, compresses it to JPEG, saves, loads and
// decompresses it, and OpenSSL sets up the TLS layer the archive connection
// uses. Exits 0 when all of it works.
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dctk.h"
#include "dcmtk/dcmdata/libi2d/i2d.h"
#include "dcmtk/dcmdata/libi2d/i2dbmps.h"
#include "dcmtk/dcmdata/libi2d/i2dplsc.h"
#include "dcmtk/dcmimage/diregist.h"  // colour images for the JPEG codec
#include "dcmtk/dcmjpeg/djdecode.h"
#include "dcmtk/dcmjpeg/djencode.h"
#include "dcmtk/dcmjpeg/djrploss.h"
#include "dcmtk/dcmtls/tlslayer.h"

namespace {

int Fail(const char* what, const OFCondition& status = EC_Normal) {
  std::fprintf(stderr, "windows-deps check: %s %s\n", what, status.bad() ? status.text() : "");
  return 1;
}

bool PngRoundTrip() {
  std::vector<unsigned char> ramp(16 * 16);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<unsigned char>(i);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = image.height = 16;
  image.format = PNG_FORMAT_GRAY;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, ramp.data(), 0, nullptr)) return false;
  std::vector<unsigned char> png(size);
  if (!png_image_write_to_memory(&image, png.data(), &size, 0, ramp.data(), 0, nullptr))
    return false;
  png_image back{};
  back.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&back, png.data(), size)) return false;
  back.format = PNG_FORMAT_GRAY;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(back));
  return png_image_finish_read(&back, nullptr, pixels.data(), 0, nullptr) && pixels == ramp;
}

// A 2x2 24-bit BMP: file and information headers, then the rows bottom up,
// each two BGR pixels padded to 8 bytes.
// clang-format off
const unsigned char kBmp[70] = {
    'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
    40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,
    0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 255, 255, 255, 255, 0, 0,
    255, 0, 0, 0, 255, 0, 0, 0};
// clang-format on

}  // namespace

int main() {
  if (!PngRoundTrip()) return Fail("libpng round trip");

  const auto folder = std::filesystem::temp_directory_path() / "tavirex-windows-deps-check";
  std::filesystem::create_directories(folder);
  const std::filesystem::path bmp = folder / "image.bmp", dicom = folder / "image.dcm";
  std::ofstream(bmp, std::ios::binary).write(reinterpret_cast<const char*>(kBmp), sizeof kBmp);

  std::unique_ptr<DcmDataset> converted;
  {  // the source keeps its file open (and Windows it) until it goes
    I2DBmpSource source;
    source.setImageFile(bmp.string().c_str());
    I2DOutputPlugSC plug;
    Image2Dcm converter;
    DcmDataset* made = nullptr;
    E_TransferSyntax xfer = EXS_Unknown;
    const OFCondition status = converter.convertFirstFrame(&source, &plug, 1, made, xfer);
    converted.reset(made);
    if (status.bad()) return Fail("BMP to DICOM:", status);
  }

  DJEncoderRegistration::registerCodecs();
  DJDecoderRegistration::registerCodecs();
  DcmFileFormat file(converted.get());
  const DJ_RPLossy lossy(90);
  OFCondition status = file.getDataset()->chooseRepresentation(EXS_JPEGProcess1, &lossy);
  if (status.good()) status = file.saveFile(dicom.string().c_str(), EXS_JPEGProcess1);
  if (status.bad()) return Fail("JPEG compression:", status);
  DcmFileFormat loaded;
  status = loaded.loadFile(dicom.string().c_str());
  if (status.good())
    status = loaded.getDataset()->chooseRepresentation(EXS_LittleEndianExplicit, nullptr);
  Uint16 rows = 0;
  const Uint8* pixels = nullptr;
  if (status.good()) status = loaded.getDataset()->findAndGetUint16(DCM_Rows, rows);
  if (status.good()) status = loaded.getDataset()->findAndGetUint8Array(DCM_PixelData, pixels);
  if (status.bad() || rows != 2 || !pixels) return Fail("JPEG decompression:", status);
  std::filesystem::remove_all(folder);

  DcmTLSTransportLayer tls(NET_REQUESTOR, nullptr, OFTrue);
  status = tls.setTLSProfile(TSP_Profile_BCP195);
  if (status.good()) status = tls.activateCipherSuites();
  if (status.bad()) return Fail("TLS layer:", status);
  std::puts("windows-deps check: libpng, zlib, DCMTK (i2d, dcmjpeg, dcmtls) and OpenSSL work");
  return 0;
}
