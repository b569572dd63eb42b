#include "forwarder/image_file.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "dcmtk/dcmdata/dcerror.h"
#include "dcmtk/dcmdata/libi2d/i2dbmps.h"

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

// No file holds an image within the limit in more than this many bytes a
// pixel (16-bit RGBA, uncompressed), beyond a megabyte of headers.
constexpr std::uint64_t kBytesPerPixel = 8;
constexpr std::uint64_t kHeaderBytes = 1 << 20;

// What DICOM's 16-bit rows and columns hold, and the limit.
void CheckSize(const char* format, std::uint64_t cols, std::uint64_t rows, int max_megapixels) {
  const std::string the = std::string("the ") + format;
  if (cols == 0 || rows == 0) throw Refused(the + " has no pixels");
  if (cols > 65535 || rows > 65535) throw Refused(the + " is larger than 65535 pixels a side");
  if (cols * rows > static_cast<std::uint64_t>(max_megapixels) * 1'000'000) {
    throw Refused(the + " has " + std::to_string(cols) + " x " + std::to_string(rows) +
                  " pixels, more than the " + std::to_string(max_megapixels) +
                  " megapixels of [images] max_megapixels");
  }
}

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
  void SetPixels(char* pixels, std::uint64_t cols, std::uint64_t rows, bool colour) {
    frame_.data.reset(pixels);
    cols_ = static_cast<Uint16>(cols);
    rows_ = static_cast<Uint16>(rows);
    samples_ = colour ? 3 : 1;
    frame_.size = cols * rows * samples_;
    photometric_ = colour ? "RGB" : "MONOCHROME2";
  }

  Bytes frame_;
  E_TransferSyntax ts_ = EXS_LittleEndianExplicit;
  Uint16 rows_ = 0, cols_ = 0, samples_ = 0;
  std::string photometric_;
};

// A JPEG carried as it is: the whole file is the frame. Baseline only, the
// transfer syntax the forwarder proposes; the photometric interpretation
// follows the JPEG's own components. What an archive's decoder would trip
// over is checked without decoding: the markers from start to end of image,
// each segment's length, one frame header, scan headers naming its
// components, and entropy-coded data that runs up to a marker.
class JpegFile : public Frame {
 public:
  JpegFile(Bytes bytes, int max_megapixels) {
    ts_ = EXS_JPEGProcess1;
    Check(bytes, max_megapixels);
    frame_ = std::move(bytes);
  }
  OFString inputFormat() const override { return "JPEG"; }

 private:
  void Check(const Bytes& bytes, int max_megapixels) {
    const Refused cut_short("the JPEG is cut short (it has no end of image)");
    const Refused damaged("the JPEG's markers are damaged");
    bool adobe_rgb = false;
    unsigned char components[3] = {};
    int scans = 0;
    std::size_t at = 2;  // after the start of image
    for (;;) {
      if (at >= bytes.size) throw cut_short;
      if (bytes[at] != 0xFF) throw damaged;
      while (at < bytes.size && bytes[at] == 0xFF) ++at;  // fill bytes
      if (at >= bytes.size) throw cut_short;
      const unsigned marker = bytes[at];
      if (marker == 0xD9) break;  // end of image
      if (at + 3 > bytes.size) throw cut_short;
      if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) throw damaged;
      const std::size_t size = bytes[at + 1] << 8 | bytes[at + 2];
      if (size < 2) throw damaged;
      if (at + 1 + size > bytes.size) throw cut_short;
      const unsigned char* segment = bytes.get() + at + 3;
      const std::size_t length = size - 2;
      at += 1 + size;
      if (marker == 0xEE && length >= 12 && std::memcmp(segment, "Adobe", 5) == 0) {
        adobe_rgb = segment[11] == 0;  // transform 0: the components are RGB
      } else if (marker == 0xC0) {
        if (samples_ != 0) throw Refused("the JPEG has two frame headers");
        if (length < 6) throw damaged;
        if (segment[0] != 8) throw Refused("the JPEG has more than 8 bits a sample");
        rows_ = static_cast<Uint16>(segment[1] << 8 | segment[2]);
        cols_ = static_cast<Uint16>(segment[3] << 8 | segment[4]);
        CheckSize("JPEG", cols_, rows_, max_megapixels);
        samples_ = segment[5];
        if (samples_ != 1 && samples_ != 3) {
          throw Refused("the JPEG has " + std::to_string(samples_) +
                        " components (1 or 3 can be archived)");
        }
        if (length != 6u + 3u * samples_) throw damaged;
        const unsigned char* c = segment + 6;  // id, sampling, table for each component
        for (int i = 0; i < samples_; ++i) {
          const unsigned h = c[3 * i + 1] >> 4, v = c[3 * i + 1] & 15;
          if (h < 1 || h > 4 || v < 1 || v > 4 || c[3 * i + 2] > 3) throw damaged;
          components[i] = c[3 * i];
        }
        if (samples_ == 1) {
          photometric_ = "MONOCHROME2";
        } else {
          const bool rgb = adobe_rgb || (c[0] == 'R' && c[3] == 'G' && c[6] == 'B');
          // YCbCr, subsampled or not: the photographic classes know only
          // YBR_FULL_422 for it, and decoders take the sampling from the
          // frame header.
          photometric_ = rgb ? "RGB" : "YBR_FULL_422";
        }
      } else if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                 marker != 0xCC) {
        throw Refused("the JPEG is not baseline (progressive, extended or lossless coding)");
      } else if (marker == 0xDA) {
        CheckScan(segment, length, components);
        ++scans;
        // Entropy-coded data: 0xFF only as a stuffed 0xFF00, a restart
        // marker or fill before the next marker.
        for (;;) {
          const void* mark = std::memchr(bytes.get() + at, 0xFF, bytes.size - at);
          if (mark == nullptr) throw cut_short;
          at = static_cast<const unsigned char*>(mark) - bytes.get();
          if (at + 1 >= bytes.size) throw cut_short;
          const unsigned next = bytes[at + 1];
          if (next != 0x00 && (next < 0xD0 || next > 0xD7)) break;
          at += 2;
        }
      }
    }
    if (scans == 0) throw Refused("the JPEG has no image data");
  }

  // A baseline scan of the frame's components.
  void CheckScan(const unsigned char* segment, std::size_t length,
                 const unsigned char (&components)[3]) const {
    if (samples_ == 0) throw Refused("the JPEG has a scan before its frame header");
    const unsigned count = length > 0 ? segment[0] : 0;
    if (count < 1 || count > samples_ || length != 4 + 2 * count) {
      throw Refused("the JPEG's scan header is damaged");
    }
    for (unsigned i = 0; i < count; ++i) {
      const unsigned char id = segment[1 + 2 * i];
      if (std::find(components, components + samples_, id) == components + samples_) {
        throw Refused("the JPEG's scan names a component its frame does not have");
      }
    }
    const unsigned char* end = segment + 1 + 2 * count;  // spectral selection, approximation
    if (end[0] != 0 || end[1] != 63 || end[2] != 0) {
      throw Refused("the JPEG is not baseline (progressive, extended or lossless coding)");
    }
  }
};

// libpng reports an error by a long jump: what it reads into lives here, and
// the function that jumps back has nothing to destroy.
struct PngRead {
  const Fd& fd;
  std::uint64_t at = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  char* pixels = nullptr;  // new[], then the frame's
  png_bytep* rows = nullptr;
  png_uint_32 width = 0, height = 0;
  bool colour = false;
  char message[160] = "";
  ~PngRead() {
    png_destroy_read_struct(&png, &info, nullptr);
    delete[] pixels;
    delete[] rows;
  }
};

void PngData(png_structp png, png_bytep into, std::size_t size) {
  auto* read = static_cast<PngRead*>(png_get_io_ptr(png));
  std::size_t got = 0;
  try {
    got = ReadAt(read->fd, into, size, read->at);
  } catch (const Refused&) {
  }
  if (got < size) png_error(png, "the file is cut short");
  read->at += size;
}

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  auto* read = static_cast<PngRead*>(png_get_error_ptr(png));
  std::snprintf(read->message, sizeof read->message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// False with read.message when the PNG cannot be decoded or is too large.
bool DecodePng(PngRead& read, int max_megapixels) {
  read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &read, PngError, PngWarning);
  if (read.png == nullptr) return false;
  read.info = png_create_info_struct(read.png);
  if (read.info == nullptr || setjmp(png_jmpbuf(read.png))) return false;
  png_set_read_fn(read.png, &read, PngData);
  png_set_user_limits(read.png, 0x7fffffff, 0x7fffffff);  // the size is checked below
  png_read_info(read.png, read.info);
  read.width = png_get_image_width(read.png, read.info);
  read.height = png_get_image_height(read.png, read.info);
  try {
    CheckSize("PNG", read.width, read.height, max_megapixels);
  } catch (const Refused& refused) {
    std::snprintf(read.message, sizeof read.message, "%s", refused.what());
    return false;
  }
  // 8-bit grey or RGB with the colour values as they are: a palette
  // expanded, 16-bit samples scaled to 8 bits (rounded), an alpha channel
  // and a transparent colour dropped, no gamma applied.
  const png_byte type = png_get_color_type(read.png, read.info);
  read.colour = (type & PNG_COLOR_MASK_COLOR) != 0;
  png_set_palette_to_rgb(read.png);
  png_set_expand_gray_1_2_4_to_8(read.png);
  png_set_scale_16(read.png);
  png_set_strip_alpha(read.png);
  png_set_interlace_handling(read.png);
  png_read_update_info(read.png, read.info);
  const std::size_t row_bytes = png_get_rowbytes(read.png, read.info);
  if (row_bytes != read.width * (read.colour ? 3u : 1u)) {
    std::snprintf(read.message, sizeof read.message, "its pixels are not 8-bit grey or RGB");
    return false;
  }
  read.pixels = new char[row_bytes * read.height];
  read.rows = new png_bytep[read.height];
  for (png_uint_32 y = 0; y < read.height; ++y) {
    read.rows[y] = reinterpret_cast<png_bytep>(read.pixels) + y * row_bytes;
  }
  png_read_image(read.png, read.rows);
  return true;
}

class PngFile : public Frame {
 public:
  PngFile(const Fd& fd, int max_megapixels) {
    PngRead read{fd};
    if (!DecodePng(read, max_megapixels)) {
      throw Refused(std::strncmp(read.message, "the PNG", 7) == 0
                        ? read.message
                        : std::string("the PNG cannot be decoded: ") + read.message);
    }
    SetPixels(std::exchange(read.pixels, nullptr), read.width, read.height, read.colour);
  }
  OFString inputFormat() const override { return "PNG"; }
};

// DCMTK's BMP reader over the file already open (its own readPixelData
// opens the file again by name), the size checked before the pixels are
// read.
class BmpFile : public Frame {
 public:
  BmpFile(const Fd& fd, std::uint64_t file_size, int max_megapixels) {
    Reader().Read(fd, file_size, max_megapixels, *this);
  }
  OFString inputFormat() const override { return "BMP"; }

 private:
  class Reader : public I2DBmpSource {
   public:
    void Read(const Fd& fd, std::uint64_t file_size, int max_megapixels, BmpFile& into) {
      const int copy = CrtDescriptor(fd);  // the stream closes its own descriptor
      if (copy < 0 || !bmpFile.fdopen(copy, "rb")) {
        if (copy >= 0) ::close(copy);
        throw Refused("the BMP cannot be read");
      }
      Uint32 offset = 0;
      Uint16 width = 0, height = 0, bpp = 0, colors = 0;
      OFBool top_down = OFFalse;
      Check(bmpFile.fseek(0, SEEK_SET) == 0 ? readFileHeader(offset) : EC_EndOfStream);
      Check(readBitmapHeader(width, height, bpp, top_down, colors));
      if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        throw Refused("the BMP has " + std::to_string(bpp) + " bits a pixel");
      }
      CheckSize("BMP", width, height, max_megapixels);
      // The rows are in the file before memory is taken for them.
      const std::uint64_t row_bytes = (std::uint64_t{width} * bpp + 31) / 32 * 4;
      if (offset + row_bytes * height > file_size) throw Refused("the BMP is cut short");
      OFBool grey = OFFalse;
      Uint32* palette = nullptr;
      Check(readColorPalette(colors, grey, palette));
      const std::unique_ptr<Uint32[]> owned(palette);
      grey = grey && bpp <= 8;  // a colour table beside direct colours is only a hint
      char* pixels = nullptr;
      Uint32 length = 0;
      Check(bmpFile.fseek(offset, SEEK_SET) == 0 ? EC_Normal : EC_EndOfStream);
      Check(readBitmapData(width, height, bpp, top_down, grey, colors, palette, pixels, length));
      into.SetPixels(pixels, width, height, !grey);
    }

   private:
    static void Check(const OFCondition& status) {
      if (status.bad()) throw Refused(std::string("the BMP cannot be read: ") + status.text());
    }
  };
};

Bytes ReadAll(const Fd& fd, std::uint64_t size) {
  Bytes bytes{std::make_unique_for_overwrite<char[]>(size), 0};
  bytes.size = ReadAt(fd, bytes.data.get(), size, 0);
  return bytes;
}

}  // namespace

std::unique_ptr<I2DImgSource> ReadImage(const Fd& fd, int max_megapixels) {
  const std::optional<std::uint64_t> regular = RegularFileSize(fd);
  if (!regular) throw Refused("not a regular file");
  const std::uint64_t size = *regular;
  const std::uint64_t most =
      kBytesPerPixel * static_cast<std::uint64_t>(max_megapixels) * 1'000'000 + kHeaderBytes;
  if (size > most) {
    throw Refused("the file has " + std::to_string(size) + " bytes, more than an image of " +
                  std::to_string(max_megapixels) +
                  " megapixels ([images] max_megapixels) can take");
  }
  unsigned char magic[8] = {};
  const std::size_t got = ReadAt(fd, magic, sizeof magic, 0);
  const auto starts = [&](std::string_view with) {
    return got >= with.size() && std::memcmp(magic, with.data(), with.size()) == 0;
  };
  if (starts("\xFF\xD8\xFF")) return std::make_unique<JpegFile>(ReadAll(fd, size), max_megapixels);
  if (starts("\x89PNG\r\n\x1A\n")) return std::make_unique<PngFile>(fd, max_megapixels);
  if (starts("BM")) return std::make_unique<BmpFile>(fd, size, max_megapixels);
  throw Refused("not a JPEG, PNG or BMP image");
}

}  // namespace tavirex::dicom
