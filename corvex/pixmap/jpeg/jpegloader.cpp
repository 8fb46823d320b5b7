// libjpeg reports errors through error_exit, which must not return: ours
// jumps back to the setjmp in ReadJpeg. ReadJpeg keeps all its state in the
// job record (reached through a pointer), so nothing it changed is lost by
// the jump and no destructor is skipped. Stream errors raised while filling
// the input buffer are kept in the job and raised again once libjpeg's
// structures are destroyed.
#include "corvex/pixmap/jpeg/jpegloader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

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

struct JpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
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
  std::uint8_t* pixels = nullptr;  // malloc'd by ReadJpeg, freed by its caller
  int width = 0;
  int height = 0;
  int components = 0;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrorManager*>(cinfo->err);
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

// 0 with the image in job->pixels, or -1.
int ReadJpeg(JpegJob* job) {
  job->cinfo.err = jpeg_std_error(&job->errors.base);
  job->errors.base.error_exit = ErrorExit;
  job->errors.base.emit_message = EmitMessage;
  job->errors.base.output_message = OutputMessage;
  job->errors.base.format_message = FormatMessage;
  job->errors.base.reset_error_mgr = ResetErrorManager;
  if (setjmp(job->errors.jump)) return -1;

  jpeg_create_decompress(&job->cinfo);
  job->created = true;
  job->progress.progress_monitor = LimitScans;
  job->cinfo.progress = &job->progress;
  InstallSource(job);
  if (jpeg_read_header(&job->cinfo, TRUE) != JPEG_HEADER_OK) return -1;
  // Refused before libjpeg allocates anything the size of the image.
  if (!PixmapDecodeSizeAllowed(job->cinfo.image_width, job->cinfo.image_height)) return -1;
  jpeg_start_decompress(&job->cinfo);
  job->width = static_cast<int>(job->cinfo.output_width);
  job->height = static_cast<int>(job->cinfo.output_height);
  job->components = job->cinfo.output_components;
  if (job->components != 1 && job->components != 3) return -1;
  const std::size_t rowBytes = static_cast<std::size_t>(job->width) * static_cast<std::size_t>(job->components);
  job->pixels = static_cast<std::uint8_t*>(std::malloc(rowBytes * static_cast<std::size_t>(job->height)));
  if (!job->pixels) return -1;
  while (job->cinfo.output_scanline < job->cinfo.output_height) {
    JSAMPROW row = job->pixels + rowBytes * job->cinfo.output_scanline;
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
  const int status = ReadJpeg(&job);
  if (job.created) jpeg_destroy_decompress(&job.cinfo);

  Ref<TPixmap> pixmap;
  if (status == 0 && job.width > 0 && !job.error) {
    const int format = job.components == 1 ? PIXFMT_I8 : PIXFMT_RGB888;
    try {
      pixmap = PixmapCreate(job.width, job.height, format, 4);
    } catch (...) {
      std::free(job.pixels);
      throw;
    }
    const int rowBytes = job.width * job.components;
    for (int y = 0; y < job.height; ++y) {
      CopyPixelRun(job.pixels + static_cast<std::size_t>(rowBytes) * y, pixmap->PixelAddress(0, y), format, job.width);
    }
  }
  std::free(job.pixels);
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
