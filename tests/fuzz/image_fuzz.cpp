// The forwarder's image readers (JPEG structure, PNG, BMP) on a file of the
// fuzzed bytes: an image or a refusal, never a crash, and never more memory
// than the pixel limit allows; what they accept is as large as it says.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <memory>

#include "forwarder/image_file.h"
#include "fuzz_check.h"

using namespace tavirex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dicom::Fd file(::memfd_create("image", MFD_CLOEXEC));
  FUZZ_CHECK(file.get() >= 0 && ::write(file.get(), data, size) == static_cast<ssize_t>(size),
             "no file for the input");
  std::unique_ptr<I2DImgSource> image;
  try {
    image = dicom::ReadImage(file, 1);
  } catch (const dicom::Refused&) {
    return 0;
  }
  Uint16 rows, cols, samples, bits_allocated, bits_stored, high_bit, representation, planar,
      aspect_h, aspect_v;
  OFString photometric;
  char* pixels = nullptr;
  Uint32 length = 0;
  E_TransferSyntax syntax = EXS_Unknown;
  FUZZ_CHECK(
      image
          ->readPixelData(rows, cols, samples, photometric, bits_allocated, bits_stored, high_bit,
                          representation, planar, aspect_h, aspect_v, pixels, length, syntax)
          .good(),
      "an accepted image without pixels");
  const std::unique_ptr<char[]> owned(pixels);
  FUZZ_CHECK(rows > 0 && cols > 0 && std::uint64_t{rows} * cols <= 1'000'000, "%u x %u", cols,
             rows);
  FUZZ_CHECK(samples == 1 || samples == 3, "%u samples", samples);
  if (syntax == EXS_JPEGProcess1) {
    FUZZ_CHECK(length == size, "a JPEG of %zu bytes carried as %u", size, length);
  } else {
    FUZZ_CHECK(length == std::uint64_t{rows} * cols * samples, "%u bytes of pixels for %u x %u",
               length, cols, rows);
  }
  return 0;
}
