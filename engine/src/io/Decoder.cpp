// Decoders over libsndfile, headerless PCM and the caller's PCM callbacks;
// byte sources over files, memory and the caller's file callbacks.
#include "Decoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>

namespace sonvel::engine {

// ---------------------------------------------------------------------------
// Sample formats

int BytesPerSample(FMOD_SOUND_FORMAT format) noexcept {
  switch (format) {
    case FMOD_SOUND_FORMAT_PCM8: return 1;
    case FMOD_SOUND_FORMAT_PCM16: return 2;
    case FMOD_SOUND_FORMAT_PCM24: return 3;
    case FMOD_SOUND_FORMAT_PCM32: return 4;
    case FMOD_SOUND_FORMAT_PCMFLOAT: return 4;
    default: return 0;
  }
}

int BitsPerSample(FMOD_SOUND_FORMAT format) noexcept { return BytesPerSample(format) * 8; }

void ToFloat(FMOD_SOUND_FORMAT format, const void* source, float* target, std::size_t count) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(source);
  switch (format) {
    case FMOD_SOUND_FORMAT_PCM8:
      for (std::size_t i = 0; i < count; ++i) target[i] = float(static_cast<signed char>(bytes[i])) / 128.0f;
      break;
    case FMOD_SOUND_FORMAT_PCM16:
      for (std::size_t i = 0; i < count; ++i) {
        std::int16_t v;
        std::memcpy(&v, bytes + 2 * i, 2);
        target[i] = float(v) / 32768.0f;
      }
      break;
    case FMOD_SOUND_FORMAT_PCM24:
      for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* p = bytes + 3 * i;
        std::int32_t v = std::int32_t(std::uint32_t(p[0]) << 8 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 24) >> 8;
        target[i] = float(v) / 8388608.0f;
      }
      break;
    case FMOD_SOUND_FORMAT_PCM32:
      for (std::size_t i = 0; i < count; ++i) {
        std::int32_t v;
        std::memcpy(&v, bytes + 4 * i, 4);
        target[i] = float(double(v) / 2147483648.0);
      }
      break;
    case FMOD_SOUND_FORMAT_PCMFLOAT:
      std::memcpy(target, source, count * sizeof(float));
      break;
    default:
      std::fill(target, target + count, 0.0f);
      break;
  }
}

namespace {
template <typename T>
T Quantise(float value, double scale) noexcept {
  if (!(value == value)) return 0;  // NaN
  const double scaled = std::nearbyint(double(value) * scale);
  const double low = double(std::numeric_limits<T>::min()), high = double(std::numeric_limits<T>::max());
  return T(std::clamp(scaled, low, high));
}
}  // namespace

void FromFloat(FMOD_SOUND_FORMAT format, const float* source, void* target, std::size_t count) noexcept {
  auto* bytes = static_cast<unsigned char*>(target);
  switch (format) {
    case FMOD_SOUND_FORMAT_PCM8:
      for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(Quantise<std::int8_t>(source[i], 128.0));
      break;
    case FMOD_SOUND_FORMAT_PCM16:
      for (std::size_t i = 0; i < count; ++i) {
        const std::int16_t v = Quantise<std::int16_t>(source[i], 32768.0);
        std::memcpy(bytes + 2 * i, &v, 2);
      }
      break;
    case FMOD_SOUND_FORMAT_PCM24:
      for (std::size_t i = 0; i < count; ++i) {
        std::int32_t v = Quantise<std::int32_t>(source[i], 8388608.0);
        v = std::clamp(v, -8388608, 8388607);
        bytes[3 * i] = static_cast<unsigned char>(v & 0xFF);
        bytes[3 * i + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
        bytes[3 * i + 2] = static_cast<unsigned char>((v >> 16) & 0xFF);
      }
      break;
    case FMOD_SOUND_FORMAT_PCM32:
      for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = Quantise<std::int32_t>(source[i], 2147483648.0);
        std::memcpy(bytes + 4 * i, &v, 4);
      }
      break;
    case FMOD_SOUND_FORMAT_PCMFLOAT:
      std::memcpy(target, source, count * sizeof(float));
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Byte sources

namespace {

class FileSource final : public ByteSource {
public:
  FileSource(std::FILE* file, std::int64_t offset, std::int64_t size) : file_(file), offset_(offset), size_(size) {}
  ~FileSource() override { std::fclose(file_); }

  std::int64_t Size() const noexcept override { return size_; }

  std::int64_t ReadAt(std::int64_t offset, void* target, std::int64_t count) noexcept override {
    if (offset < 0 || count < 0) return -1;
    if (offset >= size_) return 0;
    count = std::min(count, size_ - offset);
    std::lock_guard lock(mutex_);
    if (position_ != offset + offset_) {
#if defined(_WIN32)
      if (_fseeki64(file_, offset + offset_, SEEK_SET) != 0) return -1;
#else
      if (fseeko(file_, static_cast<off_t>(offset + offset_), SEEK_SET) != 0) return -1;
#endif
      position_ = offset + offset_;
    }
    const std::size_t got = std::fread(target, 1, static_cast<std::size_t>(count), file_);
    position_ += static_cast<std::int64_t>(got);
    if (got == 0 && std::ferror(file_)) {
      std::clearerr(file_);
      position_ = -1;
      return -1;
    }
    return static_cast<std::int64_t>(got);
  }

private:
  std::mutex mutex_;
  std::FILE* file_;
  std::int64_t offset_;
  std::int64_t size_;
  std::int64_t position_ = -1;
};

class MemoryBlockSource final : public ByteSource {
public:
  MemoryBlockSource(const void* data, std::size_t size, bool copy) {
    if (copy) {
      copy_.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
      data_ = copy_.data();
    } else {
      data_ = static_cast<const unsigned char*>(data);
    }
    size_ = static_cast<std::int64_t>(size);
  }

  std::int64_t Size() const noexcept override { return size_; }

  std::int64_t ReadAt(std::int64_t offset, void* target, std::int64_t count) noexcept override {
    if (offset < 0 || count < 0) return -1;
    if (offset >= size_) return 0;
    count = std::min(count, size_ - offset);
    std::memcpy(target, data_ + offset, static_cast<std::size_t>(count));
    return count;
  }

private:
  std::vector<unsigned char> copy_;
  const unsigned char* data_ = nullptr;
  std::int64_t size_ = 0;
};

class CallbackSource final : public ByteSource {
public:
  CallbackSource(void* handle, std::int64_t offset, std::int64_t size, FMOD_FILE_CLOSE_CALLBACK close,
                 FMOD_FILE_READ_CALLBACK read, FMOD_FILE_SEEK_CALLBACK seek, void* userData)
      : handle_(handle), offset_(offset), size_(size), close_(close), read_(read), seek_(seek), userData_(userData) {}
  ~CallbackSource() override {
    if (close_ != nullptr) close_(handle_, userData_);
  }

  std::int64_t Size() const noexcept override { return size_; }

  std::int64_t ReadAt(std::int64_t offset, void* target, std::int64_t count) noexcept override {
    if (offset < 0 || count < 0) return -1;
    if (offset >= size_) return 0;
    count = std::min(count, size_ - offset);
    std::lock_guard lock(mutex_);
    const std::int64_t absolute = offset + offset_;
    if (position_ != absolute) {
      if (absolute > std::numeric_limits<unsigned int>::max()) return -1;
      if (seek_ == nullptr || seek_(handle_, static_cast<unsigned int>(absolute), userData_) != FMOD_OK) return -1;
      position_ = absolute;
    }
    auto* out = static_cast<unsigned char*>(target);
    std::int64_t total = 0;
    while (total < count) {
      const unsigned int want = static_cast<unsigned int>(std::min<std::int64_t>(count - total, 1 << 20));
      unsigned int got = 0;
      const FMOD_RESULT result = read_(handle_, out + total, want, &got, userData_);
      got = std::min(got, want);
      total += got;
      position_ += got;
      if (result == FMOD_ERR_FILE_EOF || got == 0) break;
      if (result != FMOD_OK) {
        position_ = -1;
        return total > 0 ? total : -1;
      }
    }
    return total;
  }

private:
  std::mutex mutex_;
  void* handle_;
  std::int64_t offset_;
  std::int64_t size_;
  std::int64_t position_ = 0;
  FMOD_FILE_CLOSE_CALLBACK close_;
  FMOD_FILE_READ_CALLBACK read_;
  FMOD_FILE_SEEK_CALLBACK seek_;
  void* userData_;
};

}  // namespace

std::shared_ptr<ByteSource> OpenFileSource(const char* path, std::uint32_t offset, FMOD_RESULT& error) {
  std::error_code ec;
  const std::filesystem::path name(path);
  if (!std::filesystem::is_regular_file(name, ec)) {
    error = FMOD_ERR_FILE_NOTFOUND;
    return nullptr;
  }
  const auto size = std::filesystem::file_size(name, ec);
  if (ec) {
    error = FMOD_ERR_FILE_BAD;
    return nullptr;
  }
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = FMOD_ERR_FILE_BAD;
    return nullptr;
  }
  const std::int64_t available = std::max<std::int64_t>(0, static_cast<std::int64_t>(size) - offset);
  error = FMOD_OK;
  return std::make_shared<FileSource>(file, offset, available);
}

std::shared_ptr<ByteSource> MemorySource(const void* data, std::size_t size, bool copy) {
  return std::make_shared<MemoryBlockSource>(data, size, copy);
}

std::shared_ptr<ByteSource> OpenCallbackSource(const char* name, std::uint32_t offset, FMOD_FILE_OPEN_CALLBACK open,
                                               FMOD_FILE_CLOSE_CALLBACK close, FMOD_FILE_READ_CALLBACK read,
                                               FMOD_FILE_SEEK_CALLBACK seek, void* userData, FMOD_RESULT& error) {
  unsigned int size = 0;
  void* handle = nullptr;
  const FMOD_RESULT opened = open(name, &size, &handle, userData);
  if (opened != FMOD_OK) {
    error = opened;
    return nullptr;
  }
  auto source = std::make_shared<CallbackSource>(handle, offset, std::max<std::int64_t>(0, std::int64_t(size) - offset),
                                                 close, read, seek, userData);
  error = FMOD_OK;
  return source;
}

// ---------------------------------------------------------------------------
// libsndfile

namespace {

struct VirtualFile {
  ByteSource* source;
  sf_count_t position = 0;
};

sf_count_t VirtualLength(void* user) { return static_cast<VirtualFile*>(user)->source->Size(); }

sf_count_t VirtualSeek(sf_count_t offset, int whence, void* user) {
  auto* file = static_cast<VirtualFile*>(user);
  sf_count_t base = 0;
  if (whence == SEEK_CUR) base = file->position;
  else if (whence == SEEK_END) base = file->source->Size();
  const sf_count_t target = base + offset;
  if (target < 0) return -1;
  file->position = target;
  return target;
}

sf_count_t VirtualRead(void* buffer, sf_count_t count, void* user) {
  auto* file = static_cast<VirtualFile*>(user);
  const std::int64_t got = file->source->ReadAt(file->position, buffer, count);
  if (got <= 0) return 0;
  file->position += got;
  return got;
}

sf_count_t VirtualWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t VirtualTell(void* user) { return static_cast<VirtualFile*>(user)->position; }

SF_VIRTUAL_IO kVirtualIo = {&VirtualLength, &VirtualSeek, &VirtualRead, &VirtualWrite, &VirtualTell};

// Whether the first bytes look like a container libsndfile knows, so that a
// failed open means a damaged or cut file rather than an unknown one.
bool LooksLikeKnownContainer(const unsigned char* b, std::int64_t n) {
  auto is = [&](const char* magic) { return n >= 4 && std::memcmp(b, magic, 4) == 0; };
  if (is("RIFF") || is("RIFX") || is("RF64") || is("FORM") || is("fLaC") || is("OggS") || is("caff") ||
      is(".snd") || is("wvpk"))
    return true;
  if (n >= 3 && std::memcmp(b, "ID3", 3) == 0) return true;
  if (n >= 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0) return true;  // MPEG frame sync
  // A prefix of one of the magics above: the file was cut inside it.
  if (n > 0 && n < 4) {
    for (const char* magic : {"RIFF", "RIFX", "RF64", "FORM", "fLaC", "OggS", "ID3"})
      if (std::memcmp(b, magic, static_cast<std::size_t>(n)) == 0) return true;
  }
  return false;
}

FMOD_SOUND_TYPE TypeOf(int format) {
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_W64:
    case SF_FORMAT_RF64: return FMOD_SOUND_TYPE_WAV;
    case SF_FORMAT_AIFF: return FMOD_SOUND_TYPE_AIFF;
    case SF_FORMAT_FLAC: return FMOD_SOUND_TYPE_FLAC;
    case SF_FORMAT_OGG: return FMOD_SOUND_TYPE_OGGVORBIS;  // Vorbis and Opus alike: the Ogg container
    case SF_FORMAT_MPEG: return FMOD_SOUND_TYPE_MPEG;
    case SF_FORMAT_RAW: return FMOD_SOUND_TYPE_RAW;
    default: return FMOD_SOUND_TYPE_UNKNOWN;
  }
}

// The format the data is in, and the bytes one stored sample takes in the
// container (0 for compressed encodings).
FMOD_SOUND_FORMAT FormatOf(int format, int& storedBytes) {
  storedBytes = 0;
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: storedBytes = 1; return FMOD_SOUND_FORMAT_PCM8;
    case SF_FORMAT_PCM_16: storedBytes = 2; return FMOD_SOUND_FORMAT_PCM16;
    case SF_FORMAT_PCM_24: storedBytes = 3; return FMOD_SOUND_FORMAT_PCM24;
    case SF_FORMAT_PCM_32: storedBytes = 4; return FMOD_SOUND_FORMAT_PCM32;
    case SF_FORMAT_FLOAT: storedBytes = 4; return FMOD_SOUND_FORMAT_PCMFLOAT;
    case SF_FORMAT_DOUBLE: storedBytes = 8; return FMOD_SOUND_FORMAT_PCMFLOAT;
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: storedBytes = 1; return FMOD_SOUND_FORMAT_PCM16;
    default: return FMOD_SOUND_FORMAT_PCM16;  // compressed: decodes to 16-bit PCM
  }
}

// Tag names: ID3v2 frame identifiers for MPEG, comment field names otherwise.
struct StringTag {
  int id;
  const char* comment;
  const char* id3;
};
constexpr StringTag kStringTags[] = {
    {SF_STR_TITLE, "TITLE", "TIT2"},       {SF_STR_ARTIST, "ARTIST", "TPE1"},
    {SF_STR_ALBUM, "ALBUM", "TALB"},       {SF_STR_DATE, "DATE", "TDRC"},
    {SF_STR_COMMENT, "COMMENT", "COMM"},   {SF_STR_GENRE, "GENRE", "TCON"},
    {SF_STR_TRACKNUMBER, "TRACKNUMBER", "TRCK"}, {SF_STR_COPYRIGHT, "COPYRIGHT", "TCOP"},
    {SF_STR_LICENSE, "LICENSE", "WCOP"},   {SF_STR_SOFTWARE, "ENCODER", "TSSE"},
};

// Names of WAV cue points, from the "labl" entries of the "LIST"/"adtl"
// chunk, by cue identifier.
std::vector<std::pair<std::uint32_t, std::string>> CueLabels(SNDFILE* file) {
  std::vector<std::pair<std::uint32_t, std::string>> labels;
  SF_CHUNK_INFO wanted{};
  std::memcpy(wanted.id, "LIST", 4);
  wanted.id_size = 4;
  for (SF_CHUNK_ITERATOR* it = sf_get_chunk_iterator(file, &wanted); it != nullptr; it = sf_next_chunk_iterator(it)) {
    SF_CHUNK_INFO chunk{};
    if (sf_get_chunk_size(it, &chunk) != SF_ERR_NO_ERROR || chunk.datalen < 4 || chunk.datalen > (1u << 20)) continue;
    std::vector<unsigned char> data(chunk.datalen);
    chunk.data = data.data();
    if (sf_get_chunk_data(it, &chunk) != SF_ERR_NO_ERROR) continue;
    if (std::memcmp(data.data(), "adtl", 4) != 0) continue;
    std::size_t at = 4;
    while (at + 8 <= data.size()) {
      std::uint32_t size = data[at + 4] | data[at + 5] << 8 | data[at + 6] << 16 | std::uint32_t(data[at + 7]) << 24;
      const std::size_t body = at + 8;
      if (size > data.size() - body) break;
      if (std::memcmp(&data[at], "labl", 4) == 0 && size >= 4) {
        const std::uint32_t id = data[body] | data[body + 1] << 8 | data[body + 2] << 16 | std::uint32_t(data[body + 3]) << 24;
        std::string text(reinterpret_cast<const char*>(&data[body + 4]), size - 4);
        text.resize(std::strlen(text.c_str()));
        labels.emplace_back(id, std::move(text));
      }
      at = body + size + (size & 1);
    }
  }
  return labels;
}

class ContainerDecoder final : public Decoder {
public:
  ContainerDecoder(std::shared_ptr<ByteSource> source, std::unique_ptr<VirtualFile> file, SNDFILE* sndfile)
      : source_(std::move(source)), file_(std::move(file)), sndfile_(sndfile) {}
  ~ContainerDecoder() override { sf_close(sndfile_); }

  void Describe(const SF_INFO& sfinfo, bool wantTags) {
    info_.channels = sfinfo.channels;
    info_.sampleRate = sfinfo.samplerate;
    if (sfinfo.frames < 0 || sfinfo.frames >= SF_COUNT_MAX) {
      info_.framesKnown = false;
      info_.frames = 0;
    } else {
      info_.frames = std::min<std::uint64_t>(static_cast<std::uint64_t>(sfinfo.frames), 0xFFFFFFFFu);
    }
    info_.type = TypeOf(sfinfo.format);
    int storedBytes = 0;
    info_.format = FormatOf(sfinfo.format, storedBytes);
    info_.rawBytes = storedBytes > 0 && info_.framesKnown
                         ? info_.frames * std::uint64_t(sfinfo.channels) * std::uint64_t(storedBytes)
                         : std::uint64_t(source_->Size());

    if (wantTags) {
      const bool id3 = (sfinfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
      const FMOD_TAGTYPE type = id3 ? FMOD_TAGTYPE_ID3V2
                                : ((sfinfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG ||
                                   (sfinfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC)
                                    ? FMOD_TAGTYPE_VORBISCOMMENT
                                    : FMOD_TAGTYPE_UNKNOWN;
      for (const StringTag& tag : kStringTags) {
        const char* value = sf_get_string(sndfile_, tag.id);
        if (value == nullptr || *value == '\0') continue;
        info_.tags.push_back({type, id3 ? tag.id3 : tag.comment, value});
      }
    }

    SF_CUES cues{};
    if (sf_command(sndfile_, SFC_GET_CUE, &cues, sizeof cues) == SF_TRUE) {
      const auto labels = CueLabels(sndfile_);
      const std::uint32_t count = std::min<std::uint32_t>(cues.cue_count, 100);
      for (std::uint32_t i = 0; i < count; ++i) {
        DecodedCue cue;
        cue.offset = cues.cue_points[i].sample_offset;
        cue.name.assign(cues.cue_points[i].name, strnlen(cues.cue_points[i].name, sizeof cues.cue_points[i].name));
        for (const auto& [id, label] : labels)
          if (id == static_cast<std::uint32_t>(cues.cue_points[i].indx) && cue.name.empty()) cue.name = label;
        info_.cues.push_back(std::move(cue));
      }
    }

    SF_INSTRUMENT instrument{};
    if (sf_command(sndfile_, SFC_GET_INSTRUMENT, &instrument, sizeof instrument) == SF_TRUE &&
        instrument.loop_count > 0 && instrument.loops[0].end > instrument.loops[0].start &&
        instrument.loops[0].mode != SF_LOOP_NONE) {
      // libsndfile gives the loop end exclusive.
      info_.hasLoop = true;
      info_.loopStart = instrument.loops[0].start;
      info_.loopEnd = instrument.loops[0].end - 1;
      info_.loopCount = instrument.loops[0].count == 0 ? -1 : static_cast<int>(std::min<unsigned>(instrument.loops[0].count, 0x7FFFFFFF));
    }
  }

  std::uint32_t Read(float* out, std::uint32_t frames) noexcept override {
    if (failed_ || frames == 0) return 0;
    const sf_count_t got = sf_readf_float(sndfile_, out, frames);
    if (got < static_cast<sf_count_t>(frames) && sf_error(sndfile_) != SF_ERR_NO_ERROR) failed_ = true;
    return got > 0 ? static_cast<std::uint32_t>(got) : 0;
  }

  bool Seek(std::uint64_t frame) noexcept override {
    failed_ = false;
    return sf_seek(sndfile_, static_cast<sf_count_t>(frame), SEEK_SET) >= 0;
  }

private:
  std::shared_ptr<ByteSource> source_;
  std::unique_ptr<VirtualFile> file_;
  SNDFILE* sndfile_;
};

// libsndfile reports open errors through a process-wide slot.
std::mutex gOpenMutex;

}  // namespace

std::unique_ptr<Decoder> OpenContainerDecoder(std::shared_ptr<ByteSource> source, bool wantTags, FMOD_RESULT& error) {
  const std::int64_t size = source->Size();
  if (size <= 0) {
    error = FMOD_ERR_FILE_EOF;
    return nullptr;
  }
  unsigned char head[16] = {};
  const std::int64_t headBytes = source->ReadAt(0, head, sizeof head);
  if (headBytes < 0) {
    error = FMOD_ERR_FILE_BAD;
    return nullptr;
  }

  auto file = std::make_unique<VirtualFile>(VirtualFile{source.get()});
  SF_INFO sfinfo{};
  SNDFILE* sndfile;
  int sfError;
  {
    std::lock_guard lock(gOpenMutex);
    sndfile = sf_open_virtual(&kVirtualIo, SFM_READ, &sfinfo, file.get());
    sfError = sndfile == nullptr ? sf_error(nullptr) : SF_ERR_NO_ERROR;
  }
  if (sndfile == nullptr) {
    if (sfError == SF_ERR_UNSUPPORTED_ENCODING || !LooksLikeKnownContainer(head, headBytes))
      error = FMOD_ERR_FORMAT;
    else if (sfError == SF_ERR_UNRECOGNISED_FORMAT)
      error = FMOD_ERR_FILE_EOF;  // cut inside the first bytes of a known header
    else
      error = FMOD_ERR_FILE_BAD;
    return nullptr;
  }
  if (sfinfo.channels <= 0 || sfinfo.channels > 32 || sfinfo.samplerate <= 0) {
    sf_close(sndfile);
    error = FMOD_ERR_FORMAT;
    return nullptr;
  }
  auto decoder = std::make_unique<ContainerDecoder>(std::move(source), std::move(file), sndfile);
  decoder->Describe(sfinfo, wantTags);
  error = FMOD_OK;
  return decoder;
}

// ---------------------------------------------------------------------------
// Headerless PCM

namespace {

class RawDecoder final : public Decoder {
public:
  RawDecoder(std::shared_ptr<ByteSource> source, int channels, int sampleRate, FMOD_SOUND_FORMAT format)
      : source_(std::move(source)), format_(format), frameBytes_(channels * BytesPerSample(format)) {
    info_.channels = channels;
    info_.sampleRate = sampleRate;
    info_.type = FMOD_SOUND_TYPE_RAW;
    info_.format = format;
    info_.rawBytes = static_cast<std::uint64_t>(source_->Size());
    info_.frames = std::min<std::uint64_t>(info_.rawBytes / std::uint64_t(frameBytes_), 0xFFFFFFFFu);
  }

  std::uint32_t Read(float* out, std::uint32_t frames) noexcept override {
    if (failed_) return 0;
    std::uint32_t done = 0;
    while (done < frames) {
      const std::uint32_t chunk = std::min<std::uint32_t>(frames - done, 4096);
      const std::int64_t got = source_->ReadAt(static_cast<std::int64_t>(position_ * std::uint64_t(frameBytes_)),
                                               bytes_, std::int64_t(chunk) * frameBytes_);
      if (got < 0) {
        failed_ = true;
        break;
      }
      const auto whole = static_cast<std::uint32_t>(got / frameBytes_);
      if (whole == 0) break;
      ToFloat(format_, bytes_, out + std::size_t(done) * info_.channels, std::size_t(whole) * info_.channels);
      done += whole;
      position_ += whole;
    }
    return done;
  }

  bool Seek(std::uint64_t frame) noexcept override {
    failed_ = false;
    position_ = std::min<std::uint64_t>(frame, info_.frames);
    return true;
  }

private:
  std::shared_ptr<ByteSource> source_;
  FMOD_SOUND_FORMAT format_;
  int frameBytes_;
  std::uint64_t position_ = 0;
  unsigned char bytes_[4096 * 32 * 4];
};

class UserDecoder final : public Decoder {
public:
  UserDecoder(FMOD_SOUND* sound, int subsound, FMOD_SOUND_PCMREAD_CALLBACK read, FMOD_SOUND_PCMSETPOS_CALLBACK setPosition)
      : sound_(sound), subsound_(subsound), read_(read), setPosition_(setPosition) {}

  std::uint32_t Read(float* out, std::uint32_t frames) noexcept override {
    if (failed_ || position_ >= info_.frames) return 0;
    frames = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, info_.frames - position_));
    const int frameBytes = info_.channels * BytesPerSample(info_.format);
    if (read_ == nullptr) {
      std::fill(out, out + std::size_t(frames) * info_.channels, 0.0f);
      position_ += frames;
      return frames;
    }
    std::uint32_t done = 0;
    while (done < frames) {
      const std::uint32_t chunk = std::min<std::uint32_t>(frames - done, 1024);
      std::fill(bytes_.begin(), bytes_.end(), 0);
      const FMOD_RESULT result = read_(sound_, bytes_.data(), chunk * static_cast<unsigned>(frameBytes));
      if (result != FMOD_OK) {
        failed_ = result != FMOD_ERR_FILE_EOF;
        break;
      }
      ToFloat(info_.format, bytes_.data(), out + std::size_t(done) * info_.channels, std::size_t(chunk) * info_.channels);
      done += chunk;
    }
    position_ += done;
    return done;
  }

  bool Seek(std::uint64_t frame) noexcept override {
    failed_ = false;
    position_ = std::min<std::uint64_t>(frame, info_.frames);
    if (setPosition_ != nullptr)
      setPosition_(sound_, subsound_, static_cast<unsigned int>(position_), FMOD_TIMEUNIT_PCM);
    return true;
  }

  void Init(int channels, int sampleRate, FMOD_SOUND_FORMAT format, std::uint64_t frames) {
    info_.channels = channels;
    info_.sampleRate = sampleRate;
    info_.type = FMOD_SOUND_TYPE_USER;
    info_.format = format;
    info_.frames = frames;
    info_.rawBytes = frames * std::uint64_t(channels) * std::uint64_t(BytesPerSample(format));
    bytes_.assign(std::size_t(1024) * channels * BytesPerSample(format), 0);
  }

private:
  FMOD_SOUND* sound_;
  int subsound_;
  FMOD_SOUND_PCMREAD_CALLBACK read_;
  FMOD_SOUND_PCMSETPOS_CALLBACK setPosition_;
  std::uint64_t position_ = 0;
  std::vector<unsigned char> bytes_;
};

}  // namespace

std::unique_ptr<Decoder> OpenRawDecoder(std::shared_ptr<ByteSource> source, int channels, int sampleRate,
                                        FMOD_SOUND_FORMAT format, FMOD_RESULT& error) {
  if (channels <= 0 || channels > 32 || sampleRate <= 0 || BytesPerSample(format) == 0) {
    error = FMOD_ERR_FORMAT;
    return nullptr;
  }
  error = FMOD_OK;
  return std::make_unique<RawDecoder>(std::move(source), channels, sampleRate, format);
}

std::unique_ptr<Decoder> OpenUserDecoder(FMOD_SOUND* sound, int subsound, int channels, int sampleRate,
                                         FMOD_SOUND_FORMAT format, std::uint64_t frames,
                                         FMOD_SOUND_PCMREAD_CALLBACK read, FMOD_SOUND_PCMSETPOS_CALLBACK setPosition) {
  auto decoder = std::make_unique<UserDecoder>(sound, subsound, read, setPosition);
  decoder->Init(channels, sampleRate, format, frames);
  return decoder;
}

}  // namespace sonvel::engine
