// Decoders: turn encoded bytes (a file, a memory block, raw PCM) or a
// caller's PCM callback into interleaved float frames.
//
// A decoder belongs to one thread at a time (the creating API thread, then
// the stream thread); it is not thread-safe. Byte sources may be shared by
// several decoders (positional reads).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.Types.h"

namespace sonvel::engine {

// ---- Sample formats.

// Bytes of one sample value of `format`; 0 for formats without a fixed size.
int BytesPerSample(FMOD_SOUND_FORMAT format) noexcept;
// Bits of one sample value, as FMOD_Sound_GetFormat reports them.
int BitsPerSample(FMOD_SOUND_FORMAT format) noexcept;
// `count` sample values from `format` to float in [-1, 1) and back; integer
// values survive a round trip unchanged.
void ToFloat(FMOD_SOUND_FORMAT format, const void* source, float* target, std::size_t count) noexcept;
void FromFloat(FMOD_SOUND_FORMAT format, const float* source, void* target, std::size_t count) noexcept;

// ---- Where encoded bytes come from.

class ByteSource {
public:
  virtual ~ByteSource() = default;
  // Bytes available from the start of the source (after any file offset).
  virtual std::int64_t Size() const noexcept = 0;
  // Reads up to `count` bytes at `offset`; answers the bytes read (0 at the
  // end), or -1 on an I/O error. Thread-safe.
  virtual std::int64_t ReadAt(std::int64_t offset, void* target, std::int64_t count) noexcept = 0;
};

// A file by name, starting `offset` bytes in. FMOD_ERR_FILE_NOTFOUND when it
// does not exist (or is not a regular file), FMOD_ERR_FILE_BAD when it
// cannot be read.
std::shared_ptr<ByteSource> OpenFileSource(const char* path, std::uint32_t offset, FMOD_RESULT& error);
// A memory block, copied (the caller may free it at once) or used in place.
std::shared_ptr<ByteSource> MemorySource(const void* data, std::size_t size, bool copy);
// A file through the caller's file callbacks (FMOD_CREATESOUNDEXINFO's
// fileuseropen/close/read/seek). Reads are serialised.
std::shared_ptr<ByteSource> OpenCallbackSource(const char* name, std::uint32_t offset,
                                               FMOD_FILE_OPEN_CALLBACK open, FMOD_FILE_CLOSE_CALLBACK close,
                                               FMOD_FILE_READ_CALLBACK read, FMOD_FILE_SEEK_CALLBACK seek,
                                               void* userData, FMOD_RESULT& error);

// ---- What a decoder found at open.

struct DecodedTag {
  FMOD_TAGTYPE type = FMOD_TAGTYPE_UNKNOWN;
  std::string name;
  std::string value;  // UTF-8
};

struct DecodedCue {
  std::uint32_t offset = 0;  // frames
  std::string name;
};

struct DecoderInfo {
  int channels = 0;
  int sampleRate = 0;
  std::uint64_t frames = 0;   // the container's count
  bool framesKnown = true;    // false when the container does not say
  FMOD_SOUND_TYPE type = FMOD_SOUND_TYPE_UNKNOWN;
  FMOD_SOUND_FORMAT format = FMOD_SOUND_FORMAT_PCM16;  // what the data is, as reported
  std::uint64_t rawBytes = 0;  // bytes of (compressed) sound data
  std::vector<DecodedTag> tags;
  std::vector<DecodedCue> cues;
  bool hasLoop = false;
  std::uint32_t loopStart = 0;  // frames
  std::uint32_t loopEnd = 0;    // frames, inclusive
  int loopCount = -1;           // -1: forever
};

class Decoder {
public:
  virtual ~Decoder() = default;
  const DecoderInfo& Info() const noexcept { return info_; }
  // Decodes up to `frames` frames into `out` (Info().channels floats per
  // frame); answers the frames decoded, 0 at the end of the data or after an
  // error (Failed() tells).
  virtual std::uint32_t Read(float* out, std::uint32_t frames) noexcept = 0;
  // Moves to `frame`; false when the source cannot seek there.
  virtual bool Seek(std::uint64_t frame) noexcept = 0;
  bool Failed() const noexcept { return failed_; }

protected:
  DecoderInfo info_;
  bool failed_ = false;
};

// A container libsndfile reads: WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3 and
// the rest of its list. `wantTags` false skips metadata (FMOD_IGNORETAGS).
// Errors: FMOD_ERR_FORMAT for data in no known format, FMOD_ERR_FILE_EOF
// when the source ends inside the header, FMOD_ERR_FILE_BAD for a known
// container that is damaged.
std::unique_ptr<Decoder> OpenContainerDecoder(std::shared_ptr<ByteSource> source, bool wantTags,
                                              FMOD_RESULT& error);

// Headerless PCM in `format` (FMOD_OPENRAW).
std::unique_ptr<Decoder> OpenRawDecoder(std::shared_ptr<ByteSource> source, int channels, int sampleRate,
                                        FMOD_SOUND_FORMAT format, FMOD_RESULT& error);

// PCM that the caller's callbacks produce (FMOD_OPENUSER). Without a read
// callback the decoder yields silence. `frames` is the sound's length.
std::unique_ptr<Decoder> OpenUserDecoder(FMOD_SOUND* sound, int subsound, int channels, int sampleRate,
                                         FMOD_SOUND_FORMAT format, std::uint64_t frames,
                                         FMOD_SOUND_PCMREAD_CALLBACK read, FMOD_SOUND_PCMSETPOS_CALLBACK setPosition);

}  // namespace sonvel::engine
