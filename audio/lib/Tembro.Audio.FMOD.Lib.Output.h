// The engine's output plugin declarations, header version 1.10.08.
// Global scope, C layouts.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Lib.Common.h"

struct FMOD_OUTPUT_STATE;
struct FMOD_OUTPUT_OBJECT3DINFO;

// Output plugin API version an FMOD_OUTPUT_DESCRIPTION is built for.
inline constexpr unsigned int FMOD_OUTPUT_PLUGIN_VERSION = 3;

// How an output plugin receives the mix.
typedef unsigned int FMOD_OUTPUT_METHOD;
inline constexpr FMOD_OUTPUT_METHOD FMOD_OUTPUT_METHOD_MIX_DIRECT = 0;
inline constexpr FMOD_OUTPUT_METHOD FMOD_OUTPUT_METHOD_POLLING = 1;
inline constexpr FMOD_OUTPUT_METHOD FMOD_OUTPUT_METHOD_MIX_BUFFERED = 2;

// Output plugin callbacks.
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_GETNUMDRIVERS_CALLBACK)(FMOD_OUTPUT_STATE* output_state, int* numdrivers);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_GETDRIVERINFO_CALLBACK)(FMOD_OUTPUT_STATE* output_state, int id,
                                                                    char* name, int namelen, FMOD_GUID* guid,
                                                                    int* systemrate, FMOD_SPEAKERMODE* speakermode,
                                                                    int* speakermodechannels);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_INIT_CALLBACK)(FMOD_OUTPUT_STATE* output_state, int selecteddriver,
                                                           FMOD_INITFLAGS flags, int* outputrate,
                                                           FMOD_SPEAKERMODE* speakermode, int* speakermodechannels,
                                                           FMOD_SOUND_FORMAT* outputformat, int dspbufferlength,
                                                           int dspnumbuffers, void* extradriverdata);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_START_CALLBACK)(FMOD_OUTPUT_STATE* output_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_STOP_CALLBACK)(FMOD_OUTPUT_STATE* output_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_CLOSE_CALLBACK)(FMOD_OUTPUT_STATE* output_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_UPDATE_CALLBACK)(FMOD_OUTPUT_STATE* output_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_GETHANDLE_CALLBACK)(FMOD_OUTPUT_STATE* output_state, void** handle);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_GETPOSITION_CALLBACK)(FMOD_OUTPUT_STATE* output_state, unsigned int* pcm);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_LOCK_CALLBACK)(FMOD_OUTPUT_STATE* output_state, unsigned int offset,
                                                           unsigned int length, void** ptr1, void** ptr2,
                                                           unsigned int* len1, unsigned int* len2);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_UNLOCK_CALLBACK)(FMOD_OUTPUT_STATE* output_state, void* ptr1, void* ptr2,
                                                             unsigned int len1, unsigned int len2);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_MIXER_CALLBACK)(FMOD_OUTPUT_STATE* output_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_OBJECT3DGETINFO_CALLBACK)(FMOD_OUTPUT_STATE* output_state,
                                                                      int* maxhardwareobjects);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_OBJECT3DALLOC_CALLBACK)(FMOD_OUTPUT_STATE* output_state, void** object3d);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_OBJECT3DFREE_CALLBACK)(FMOD_OUTPUT_STATE* output_state, void* object3d);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_OBJECT3DUPDATE_CALLBACK)(FMOD_OUTPUT_STATE* output_state, void* object3d,
                                                                     const FMOD_OUTPUT_OBJECT3DINFO* info);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_OPENPORT_CALLBACK)(FMOD_OUTPUT_STATE* output_state,
                                                               FMOD_PORT_TYPE portType, FMOD_PORT_INDEX portIndex,
                                                               int* portId, int* portRate, int* portChannels,
                                                               FMOD_SOUND_FORMAT* portFormat);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_CLOSEPORT_CALLBACK)(FMOD_OUTPUT_STATE* output_state, int portId);

// Functions the engine offers a plugin through FMOD_OUTPUT_STATE.
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_READFROMMIXER)(FMOD_OUTPUT_STATE* output_state, void* buffer,
                                                           unsigned int length);
typedef FMOD_RESULT(F_CALLBACK* FMOD_OUTPUT_COPYPORT)(FMOD_OUTPUT_STATE* output_state, int portId, void* buffer,
                                                      unsigned int length);
typedef void*(F_CALLBACK* FMOD_OUTPUT_ALLOC)(unsigned int size, unsigned int align, const char* file, int line);
typedef void(F_CALLBACK* FMOD_OUTPUT_FREE)(void* ptr, const char* file, int line);
typedef void(F_CALLBACK* FMOD_OUTPUT_LOG)(FMOD_DEBUG_FLAGS level, const char* file, int line, const char* function,
                                          const char* string, ...);

// Description of an output plugin, registered with System::registerOutput.
struct FMOD_OUTPUT_DESCRIPTION {
  unsigned int apiversion;
  const char* name;
  unsigned int version;
  int polling;
  FMOD_OUTPUT_GETNUMDRIVERS_CALLBACK getnumdrivers;
  FMOD_OUTPUT_GETDRIVERINFO_CALLBACK getdriverinfo;
  FMOD_OUTPUT_INIT_CALLBACK init;
  FMOD_OUTPUT_START_CALLBACK start;
  FMOD_OUTPUT_STOP_CALLBACK stop;
  FMOD_OUTPUT_CLOSE_CALLBACK close;
  FMOD_OUTPUT_UPDATE_CALLBACK update;
  FMOD_OUTPUT_GETHANDLE_CALLBACK gethandle;
  FMOD_OUTPUT_GETPOSITION_CALLBACK getposition;
  FMOD_OUTPUT_LOCK_CALLBACK lock;
  FMOD_OUTPUT_UNLOCK_CALLBACK unlock;
  FMOD_OUTPUT_MIXER_CALLBACK mixer;
  FMOD_OUTPUT_OBJECT3DGETINFO_CALLBACK object3dgetinfo;
  FMOD_OUTPUT_OBJECT3DALLOC_CALLBACK object3dalloc;
  FMOD_OUTPUT_OBJECT3DFREE_CALLBACK object3dfree;
  FMOD_OUTPUT_OBJECT3DUPDATE_CALLBACK object3dupdate;
  FMOD_OUTPUT_OPENPORT_CALLBACK openport;
  FMOD_OUTPUT_CLOSEPORT_CALLBACK closeport;
};

// The state the engine passes to every callback of one output instance.
struct FMOD_OUTPUT_STATE {
  void* plugindata;
  FMOD_OUTPUT_READFROMMIXER readfrommixer;
  FMOD_OUTPUT_ALLOC alloc;
  FMOD_OUTPUT_FREE free;
  FMOD_OUTPUT_LOG log;
  FMOD_OUTPUT_COPYPORT copyport;
};

// One 3D object handed to an object-based output.
struct FMOD_OUTPUT_OBJECT3DINFO {
  float* buffer;
  unsigned int bufferlength;
  FMOD_VECTOR position;
  float gain;
  float spread;
  float priority;
};

#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(FMOD_OUTPUT_DESCRIPTION) == 168, "FMOD_OUTPUT_DESCRIPTION layout");
#endif
