// libjpeg reports errors through error_exit, which must not return: ours
// jumps back to the setjmp of the stage that made the call (StartJpeg or
// ReadJpegRows). Both keep all their state in the job record (reached
// through a pointer), so nothing they changed is lost by the jump and no
// destructor is skipped. Stream errors raised while filling
// the input buffer are kept in the job and raised again once libjpeg's
// structures are destroyed.
#include "corvex/pixmap/jpeg/jpegloader.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>

#include "corvex/pixmap/decodefailure.h"
#include "corvex/pixmap/streamread.h"
#include "corvex/stream/stream.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace cvx {

namespace {

constexpr int kSourceBufferBytes = 4096;
// A progressive file may hold any number of scans; past this many it is taken
// as hostile (a real file has a dozen or so) instead of decoding for ever.
constexpr int kMaxScans = 1000;
// libjpeg's working memory per pixel of the limit: a multi-scan file keeps
// every coefficient of three components (6 bytes a pixel), with room to spare.
constexpr long kJpegBytesPerPixel = 8;

struct JpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  void (*standardFormat)(j_common_ptr, char*) = nullptr;  // libjpeg's own message text
};

struct JpegSource {
  jpeg_source_mgr base;
  TByteStream* stream;
  std::exception_ptr* error;
  JOCTET* buffer;
  bool startOfFile;
};

struct JpegJob {
  TByteStream* stream = nullptr;
  std::exception_ptr error;
  jpeg_decompress_struct cinfo;
  JpegErrorManager errors;
  jpeg_progress_mgr progress;
  bool created = false;
  int width = 0;
  int height = 0;
  int components = 0;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  // Data without a JPEG start is simply not this decoder's.
  if (errors->standardFormat && cinfo->err->msg_code != JERR_NO_SOI) {
    char message[JMSG_LENGTH_MAX] = {};
    errors->standardFormat(cinfo, message);
    NotePixmapDecodeFailure("JPEG", message);
  }
  std::longjmp(errors->jump, -1);
}
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
void ResetErrorManager(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

void LimitScans(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) ERREXIT(cinfo, JERR_NOTIMPL);
}

void InitSource(j_decompress_ptr cinfo) { reinterpret_cast<JpegSource*>(cinfo->src)->startOfFile = true; }

boolean FillInput(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  std::int32_t n = 0;
  bool failed = false;
  try {
    n = ReadAvailable(src->stream, src->buffer, kSourceBufferBytes);
  } catch (...) {
    *src->error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_FILE_READ);
  if (n == 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // A file cut short: end the image here, libjpeg fills in the rest.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->base.next_input_byte = src->buffer;
  src->base.bytes_in_buffer = static_cast<std::size_t>(n);
  src->startOfFile = false;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  if (count <= 0) return;
  while (count > static_cast<long>(src->base.bytes_in_buffer)) {
    count -= static_cast<long>(src->base.bytes_in_buffer);
    FillInput(cinfo);
  }
  src->base.next_input_byte += count;
  src->base.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

void InstallSource(JpegJob* job) {
  j_common_ptr common = reinterpret_cast<j_common_ptr>(&job->cinfo);
  auto* src = static_cast<JpegSource*>((*job->cinfo.mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(JpegSource)));
  src->buffer = static_cast<JOCTET*>((*job->cinfo.mem->alloc_small)(common, JPOOL_PERMANENT, kSourceBufferBytes));
  src->stream = job->stream;
  src->error = &job->error;
  src->startOfFile = true;
  src->base.init_source = InitSource;
  src->base.fill_input_buffer = FillInput;
  src->base.skip_input_data = SkipInput;
  src->base.resync_to_restart = jpeg_resync_to_restart;
  src->base.term_source = TermSource;
  src->base.bytes_in_buffer = 0;
  src->base.next_input_byte = nullptr;
  job->cinfo.src = &src->base;
}

// What the stream and libjpeg's input buffer still hold, or -1 when the
// stream cannot tell.
std::int64_t JpegBytesLeft(JpegJob* job) {
  std::int64_t left = -1;
  try {
    left = StreamBytesLeft(job->stream);
  } catch (...) {
    return -1;  // a stream that cannot tell its size: the pixel limit alone applies
  }
  return left < 0 ? -1 : left + static_cast<std::int64_t>(job->cinfo.src->bytes_in_buffer);
}

// Reads the headers and starts the decompression: 0 when the image is one to
// decode, with its size in the job, or -1.
int StartJpeg(JpegJob* job) {
  job->cinfo.err = jpeg_std_error(&job->errors.base);
  job->errors.standardFormat = job->errors.base.format_message;
  job->errors.base.error_exit = ErrorExit;
  job->errors.base.emit_message = EmitMessage;
  job->errors.base.output_message = OutputMessage;
  job->errors.base.format_message = FormatMessage;
  job->errors.base.reset_error_mgr = ResetErrorManager;
  if (setjmp(job->errors.jump)) return -1;

  jpeg_create_decompress(&job->cinfo);
  job->created = true;
  // libjpeg's whole-image buffers (progressive and multi-scan files keep every
  // coefficient: 2 bytes a sample) stay within what the pixel limit implies;
  // past it libjpeg reports that it has no backing store.
  job->cinfo.mem->max_memory_to_use = static_cast<long>(kJpegBytesPerPixel * PixmapDecodeLimit() + (16 << 20));
  job->progress.progress_monitor = LimitScans;
  job->cinfo.progress = &job->progress;
  InstallSource(job);
  if (jpeg_read_header(&job->cinfo, TRUE) != JPEG_HEADER_OK) return -1;
  // Everything below is refused before libjpeg allocates anything the size of
  // the image.
  if (!PixmapDecodeSizeAllowed(job->cinfo.image_width, job->cinfo.image_height)) return -1;
  jpeg_calc_output_dimensions(&job->cinfo);
  const int components = job->cinfo.output_components;
  if (components != 1 && components != 3) return -1;
  // Each block of each component takes at least one bit of Huffman-coded
  // data (its DC difference), so a file much shorter than that is a header
  // claiming an image its data cannot fill.
  std::int64_t blocks = 0;
  for (int i = 0; i < job->cinfo.num_components; ++i) {
    const jpeg_component_info& c = job->cinfo.comp_info[i];
    blocks += std::int64_t{c.width_in_blocks} * c.height_in_blocks;
  }
  std::int64_t allocation = std::int64_t{job->cinfo.output_width} * job->cinfo.output_height * components;
  if (jpeg_has_multiple_scans(&job->cinfo)) allocation += blocks * DCTSIZE2 * 2;
  if (!PixmapDataCanFill(JpegBytesLeft(job), allocation, (blocks + 7) / 8)) return -1;

  jpeg_start_decompress(&job->cinfo);
  job->width = static_cast<int>(job->cinfo.output_width);
  job->height = static_cast<int>(job->cinfo.output_height);
  job->components = job->cinfo.output_components;
  return job->components == components ? 0 : -1;
}

// Decodes every row straight into the pixmap's rows: 0, or -1.
int ReadJpegRows(JpegJob* job, std::uint8_t* pixels, std::int32_t pitch) {
  if (setjmp(job->errors.jump)) return -1;
  while (job->cinfo.output_scanline < job->cinfo.output_height) {
    JSAMPROW row = pixels + static_cast<std::ptrdiff_t>(pitch) * job->cinfo.output_scanline;
    jpeg_read_scanlines(&job->cinfo, &row, 1);
  }
  jpeg_finish_decompress(&job->cinfo);
  return 0;
}

}  // namespace

Ref<TPixmap> PixmapLoadJPEG(TByteStream* stream) {
  if (!stream) ThrowNullObjectError();
  JpegJob job;
  std::memset(&job.cinfo, 0, sizeof job.cinfo);
  std::memset(&job.progress, 0, sizeof job.progress);
  job.stream = stream;
  Ref<TPixmap> pixmap;
  if (StartJpeg(&job) == 0 && job.width > 0 && !job.error) {
    const int format = job.components == 1 ? PIXFMT_I8 : PIXFMT_RGB888;
    Ref<TPixmap> image;
    try {
      image = PixmapCreate(job.width, job.height, format, 4);
    } catch (...) {
      jpeg_destroy_decompress(&job.cinfo);
      throw;
    }
    if (ReadJpegRows(&job, image->pixels, image->pitch) == 0) pixmap = image;
  }
  if (job.created) jpeg_destroy_decompress(&job.cinfo);
  if (job.error) std::rethrow_exception(job.error);
  return pixmap;
}

Ref<TPixmap> TJpegDecoder::DecodePixmap(TByteStream* stream) { return PixmapLoadJPEG(stream); }

void InitJPEGLoader() {
  static bool done = false;
  if (done) return;
  done = true;
  InitPixmap();
  new TJpegDecoder();
}

}  // namespace cvx
