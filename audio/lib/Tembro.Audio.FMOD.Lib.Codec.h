// The engine's codec plugin declarations, header version 1.10.08.
// Global scope, C layouts.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Lib.Common.h"

struct FMOD_CODEC_STATE;
struct FMOD_CODEC_WAVEFORMAT;

// Version of FMOD_CODEC_WAVEFORMAT that a codec reports in
// FMOD_CODEC_STATE::waveformatversion.
inline constexpr int FMOD_CODEC_WAVEFORMAT_VERSION = 3;

// Codec callbacks.
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_OPEN_CALLBACK)(FMOD_CODEC_STATE* codec_state, FMOD_MODE usermode,
                                                          FMOD_CREATESOUNDEXINFO* userexinfo);
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_CLOSE_CALLBACK)(FMOD_CODEC_STATE* codec_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_READ_CALLBACK)(FMOD_CODEC_STATE* codec_state, void* buffer,
                                                          unsigned int samples_in, unsigned int* samples_out);
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_GETLENGTH_CALLBACK)(FMOD_CODEC_STATE* codec_state, unsigned int* length,
                                                               FMOD_TIMEUNIT lengthtype);
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_SETPOSITION_CALLBACK)(FMOD_CODEC_STATE* codec_state, int subsound,
                                                                 unsigned int position, FMOD_TIMEUNIT postype);
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_GETPOSITION_CALLBACK)(FMOD_CODEC_STATE* codec_state,
                                                                 unsigned int* position, FMOD_TIMEUNIT postype);
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_SOUNDCREATE_CALLBACK)(FMOD_CODEC_STATE* codec_state, int subsound,
                                                                 FMOD_SOUND* sound);
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_METADATA_CALLBACK)(FMOD_CODEC_STATE* codec_state, FMOD_TAGTYPE tagtype,
                                                              char* name, void* data, unsigned int datalen,
                                                              FMOD_TAGDATATYPE datatype, int unique);
typedef FMOD_RESULT(F_CALLBACK* FMOD_CODEC_GETWAVEFORMAT_CALLBACK)(FMOD_CODEC_STATE* codec_state, int index,
                                                                   FMOD_CODEC_WAVEFORMAT* waveformat);

// Description of a codec plugin, registered with System::registerCodec.
struct FMOD_CODEC_DESCRIPTION {
  const char* name;
  unsigned int version;
  int defaultasstream;
  FMOD_TIMEUNIT timeunits;
  FMOD_CODEC_OPEN_CALLBACK open;
  FMOD_CODEC_CLOSE_CALLBACK close;
  FMOD_CODEC_READ_CALLBACK read;
  FMOD_CODEC_GETLENGTH_CALLBACK getlength;
  FMOD_CODEC_SETPOSITION_CALLBACK setposition;
  FMOD_CODEC_GETPOSITION_CALLBACK getposition;
  FMOD_CODEC_SOUNDCREATE_CALLBACK soundcreate;
  FMOD_CODEC_GETWAVEFORMAT_CALLBACK getwaveformat;
};

// Format of one (sub)sound as a codec reports it.
struct FMOD_CODEC_WAVEFORMAT {
  const char* name;
  FMOD_SOUND_FORMAT format;
  int channels;
  int frequency;
  unsigned int lengthbytes;
  unsigned int lengthpcm;
  unsigned int pcmblocksize;
  int loopstart;
  int loopend;
  FMOD_MODE mode;
  FMOD_CHANNELMASK channelmask;
  FMOD_CHANNELORDER channelorder;
  float peakvolume;
};

// The state the engine passes to every callback of one codec instance.
struct FMOD_CODEC_STATE {
  int numsubsounds;
  FMOD_CODEC_WAVEFORMAT* waveformat;
  void* plugindata;
  void* filehandle;
  unsigned int filesize;
  FMOD_FILE_READ_CALLBACK fileread;
  FMOD_FILE_SEEK_CALLBACK fileseek;
  FMOD_CODEC_METADATA_CALLBACK metadata;
  int waveformatversion;
};

#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(FMOD_CODEC_DESCRIPTION) == 88, "FMOD_CODEC_DESCRIPTION layout");
#endif
