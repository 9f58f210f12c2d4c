// The engine's DSP plugin declarations, header version 1.10.08: effect
// types, parameter descriptions, the plugin description and the state and
// helper functions the engine hands to a plugin. Global scope, C layouts.
#pragma once

#include <cstdint>

#include "Tembro.Audio.FMOD.Lib.Common.h"
#include "Tembro.Audio.FMOD.Lib.DSP.Effects.h"

struct FMOD_DSP_STATE;
struct FMOD_DSP_BUFFER_ARRAY;
struct FMOD_COMPLEX;

// Plugin SDK version a DSP description is built for.
inline constexpr unsigned int FMOD_PLUGIN_SDK_VERSION = 110;

// Size of the value-string buffer of the get-parameter callbacks.
inline constexpr int FMOD_DSP_GETPARAM_VALUESTR_LENGTH = 32;

// Built-in DSP types.
enum FMOD_DSP_TYPE : int {
  FMOD_DSP_TYPE_UNKNOWN,
  FMOD_DSP_TYPE_MIXER,
  FMOD_DSP_TYPE_OSCILLATOR,
  FMOD_DSP_TYPE_LOWPASS,
  FMOD_DSP_TYPE_ITLOWPASS,
  FMOD_DSP_TYPE_HIGHPASS,
  FMOD_DSP_TYPE_ECHO,
  FMOD_DSP_TYPE_FADER,
  FMOD_DSP_TYPE_FLANGE,
  FMOD_DSP_TYPE_DISTORTION,
  FMOD_DSP_TYPE_NORMALIZE,
  FMOD_DSP_TYPE_LIMITER,
  FMOD_DSP_TYPE_PARAMEQ,
  FMOD_DSP_TYPE_PITCHSHIFT,
  FMOD_DSP_TYPE_CHORUS,
  FMOD_DSP_TYPE_VSTPLUGIN,
  FMOD_DSP_TYPE_WINAMPPLUGIN,
  FMOD_DSP_TYPE_ITECHO,
  FMOD_DSP_TYPE_COMPRESSOR,
  FMOD_DSP_TYPE_SFXREVERB,
  FMOD_DSP_TYPE_LOWPASS_SIMPLE,
  FMOD_DSP_TYPE_DELAY,
  FMOD_DSP_TYPE_TREMOLO,
  FMOD_DSP_TYPE_LADSPAPLUGIN,
  FMOD_DSP_TYPE_SEND,
  FMOD_DSP_TYPE_RETURN,
  FMOD_DSP_TYPE_HIGHPASS_SIMPLE,
  FMOD_DSP_TYPE_PAN,
  FMOD_DSP_TYPE_THREE_EQ,
  FMOD_DSP_TYPE_FFT,
  FMOD_DSP_TYPE_LOUDNESS_METER,
  FMOD_DSP_TYPE_ENVELOPEFOLLOWER,
  FMOD_DSP_TYPE_CONVOLUTIONREVERB,
  FMOD_DSP_TYPE_CHANNELMIX,
  FMOD_DSP_TYPE_TRANSCEIVER,
  FMOD_DSP_TYPE_OBJECTPAN,
  FMOD_DSP_TYPE_MULTIBAND_EQ,
  FMOD_DSP_TYPE_MAX,
};

// Whether the process callback is asked to process or only queried.
enum FMOD_DSP_PROCESS_OPERATION : int {
  FMOD_DSP_PROCESS_PERFORM,
  FMOD_DSP_PROCESS_QUERY,
};

// Options of the surround pan helper.
enum FMOD_DSP_PAN_SURROUND_FLAGS : int {
  FMOD_DSP_PAN_SURROUND_DEFAULT = 0,
  FMOD_DSP_PAN_SURROUND_ROTATION_NOT_BIASED = 1,
};

// Kinds of DSP parameter.
enum FMOD_DSP_PARAMETER_TYPE : int {
  FMOD_DSP_PARAMETER_TYPE_FLOAT,
  FMOD_DSP_PARAMETER_TYPE_INT,
  FMOD_DSP_PARAMETER_TYPE_BOOL,
  FMOD_DSP_PARAMETER_TYPE_DATA,
  FMOD_DSP_PARAMETER_TYPE_MAX,
};

// How a float parameter's value maps to a control's position.
enum FMOD_DSP_PARAMETER_FLOAT_MAPPING_TYPE : int {
  FMOD_DSP_PARAMETER_FLOAT_MAPPING_TYPE_LINEAR,
  FMOD_DSP_PARAMETER_FLOAT_MAPPING_TYPE_AUTO,
  FMOD_DSP_PARAMETER_FLOAT_MAPPING_TYPE_PIECEWISE_LINEAR,
};

// Data parameters with a meaning known to the engine; user data is 0 or more.
enum FMOD_DSP_PARAMETER_DATA_TYPE : int {
  FMOD_DSP_PARAMETER_DATA_TYPE_USER = 0,
  FMOD_DSP_PARAMETER_DATA_TYPE_OVERALLGAIN = -1,
  FMOD_DSP_PARAMETER_DATA_TYPE_3DATTRIBUTES = -2,
  FMOD_DSP_PARAMETER_DATA_TYPE_SIDECHAIN = -3,
  FMOD_DSP_PARAMETER_DATA_TYPE_FFT = -4,
  FMOD_DSP_PARAMETER_DATA_TYPE_3DATTRIBUTES_MULTI = -5,
};

// A complex number of the DFT helpers.
struct FMOD_COMPLEX {
  float real;
  float imag;
};

// Parameter descriptions.
struct FMOD_DSP_PARAMETER_FLOAT_MAPPING_PIECEWISE_LINEAR {
  int numpoints;
  float* pointparamvalues;
  float* pointpositions;
};

struct FMOD_DSP_PARAMETER_FLOAT_MAPPING {
  FMOD_DSP_PARAMETER_FLOAT_MAPPING_TYPE type;
  FMOD_DSP_PARAMETER_FLOAT_MAPPING_PIECEWISE_LINEAR piecewiselinearmapping;
};

struct FMOD_DSP_PARAMETER_DESC_FLOAT {
  float min;
  float max;
  float defaultval;
  FMOD_DSP_PARAMETER_FLOAT_MAPPING mapping;
};

struct FMOD_DSP_PARAMETER_DESC_INT {
  int min;
  int max;
  int defaultval;
  FMOD_BOOL goestoinf;
  const char* const* valuenames;
};

struct FMOD_DSP_PARAMETER_DESC_BOOL {
  FMOD_BOOL defaultval;
  const char* const* valuenames;
};

struct FMOD_DSP_PARAMETER_DESC_DATA {
  int datatype;  // FMOD_DSP_PARAMETER_DATA_TYPE, or a user type of 0 or more
};

struct FMOD_DSP_PARAMETER_DESC {
  FMOD_DSP_PARAMETER_TYPE type;
  char name[16];
  char label[16];
  const char* description;
  union {
    FMOD_DSP_PARAMETER_DESC_FLOAT floatdesc;
    FMOD_DSP_PARAMETER_DESC_INT intdesc;
    FMOD_DSP_PARAMETER_DESC_BOOL booldesc;
    FMOD_DSP_PARAMETER_DESC_DATA datadesc;
  };
};

// Data parameters with a meaning known to the engine.
struct FMOD_DSP_PARAMETER_OVERALLGAIN {
  float linear_gain;
  float linear_gain_additive;
};

struct FMOD_DSP_PARAMETER_3DATTRIBUTES {
  FMOD_3D_ATTRIBUTES relative;
  FMOD_3D_ATTRIBUTES absolute;
};

struct FMOD_DSP_PARAMETER_3DATTRIBUTES_MULTI {
  int numlisteners;
  FMOD_3D_ATTRIBUTES relative[FMOD_MAX_LISTENERS];
  float weight[FMOD_MAX_LISTENERS];
  FMOD_3D_ATTRIBUTES absolute;
};

struct FMOD_DSP_PARAMETER_SIDECHAIN {
  FMOD_BOOL sidechainenable;
};

struct FMOD_DSP_PARAMETER_FFT {
  int length;
  int numchannels;
  float* spectrum[32];
};

// Plugin callbacks.
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_CREATE_CALLBACK)(FMOD_DSP_STATE* dsp_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_RELEASE_CALLBACK)(FMOD_DSP_STATE* dsp_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_RESET_CALLBACK)(FMOD_DSP_STATE* dsp_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_READ_CALLBACK)(FMOD_DSP_STATE* dsp_state, float* inbuffer, float* outbuffer,
                                                        unsigned int length, int inchannels, int* outchannels);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_PROCESS_CALLBACK)(FMOD_DSP_STATE* dsp_state, unsigned int length,
                                                           const FMOD_DSP_BUFFER_ARRAY* inbufferarray,
                                                           FMOD_DSP_BUFFER_ARRAY* outbufferarray, FMOD_BOOL inputsidle,
                                                           FMOD_DSP_PROCESS_OPERATION op);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SETPOSITION_CALLBACK)(FMOD_DSP_STATE* dsp_state, unsigned int pos);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SHOULDIPROCESS_CALLBACK)(FMOD_DSP_STATE* dsp_state, FMOD_BOOL inputsidle,
                                                                  unsigned int length, FMOD_CHANNELMASK inmask,
                                                                  int inchannels, FMOD_SPEAKERMODE speakermode);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SETPARAM_FLOAT_CALLBACK)(FMOD_DSP_STATE* dsp_state, int index, float value);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SETPARAM_INT_CALLBACK)(FMOD_DSP_STATE* dsp_state, int index, int value);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SETPARAM_BOOL_CALLBACK)(FMOD_DSP_STATE* dsp_state, int index, FMOD_BOOL value);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SETPARAM_DATA_CALLBACK)(FMOD_DSP_STATE* dsp_state, int index, void* data,
                                                                 unsigned int length);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETPARAM_FLOAT_CALLBACK)(FMOD_DSP_STATE* dsp_state, int index, float* value,
                                                                  char* valuestr);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETPARAM_INT_CALLBACK)(FMOD_DSP_STATE* dsp_state, int index, int* value,
                                                                char* valuestr);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETPARAM_BOOL_CALLBACK)(FMOD_DSP_STATE* dsp_state, int index,
                                                                 FMOD_BOOL* value, char* valuestr);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETPARAM_DATA_CALLBACK)(FMOD_DSP_STATE* dsp_state, int index, void** data,
                                                                 unsigned int* length, char* valuestr);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SYSTEM_REGISTER_CALLBACK)(FMOD_DSP_STATE* dsp_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SYSTEM_DEREGISTER_CALLBACK)(FMOD_DSP_STATE* dsp_state);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_SYSTEM_MIX_CALLBACK)(FMOD_DSP_STATE* dsp_state, int stage);

// Functions the engine offers a plugin through FMOD_DSP_STATE::functions.
typedef void*(F_CALLBACK* FMOD_DSP_ALLOC_FUNC)(unsigned int size, FMOD_MEMORY_TYPE type, const char* sourcestr);
typedef void*(F_CALLBACK* FMOD_DSP_REALLOC_FUNC)(void* ptr, unsigned int size, FMOD_MEMORY_TYPE type,
                                                 const char* sourcestr);
typedef void(F_CALLBACK* FMOD_DSP_FREE_FUNC)(void* ptr, FMOD_MEMORY_TYPE type, const char* sourcestr);
typedef void(F_CALLBACK* FMOD_DSP_LOG_FUNC)(FMOD_DEBUG_FLAGS level, const char* file, int line, const char* function,
                                            const char* str, ...);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETSAMPLERATE_FUNC)(FMOD_DSP_STATE* dsp_state, int* rate);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETBLOCKSIZE_FUNC)(FMOD_DSP_STATE* dsp_state, unsigned int* blocksize);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETSPEAKERMODE_FUNC)(FMOD_DSP_STATE* dsp_state,
                                                              FMOD_SPEAKERMODE* speakermode_mixer,
                                                              FMOD_SPEAKERMODE* speakermode_output);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETCLOCK_FUNC)(FMOD_DSP_STATE* dsp_state, unsigned long long* clock,
                                                        unsigned int* offset, unsigned int* length);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETLISTENERATTRIBUTES_FUNC)(FMOD_DSP_STATE* dsp_state, int* numlisteners,
                                                                     FMOD_3D_ATTRIBUTES* attributes);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_GETUSERDATA_FUNC)(FMOD_DSP_STATE* dsp_state, void** userdata);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_DFT_FFTREAL_FUNC)(FMOD_DSP_STATE* dsp_state, int size, const float* signal,
                                                           FMOD_COMPLEX* dft, const float* window, int signalhop);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_DFT_IFFTREAL_FUNC)(FMOD_DSP_STATE* dsp_state, int size,
                                                            const FMOD_COMPLEX* dft, float* signal,
                                                            const float* window, int signalhop);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_PAN_SUMMONOMATRIX_FUNC)(FMOD_DSP_STATE* dsp_state,
                                                                 FMOD_SPEAKERMODE sourceSpeakerMode,
                                                                 float lowFrequencyGain, float overallGain,
                                                                 float* matrix);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_PAN_SUMSTEREOMATRIX_FUNC)(FMOD_DSP_STATE* dsp_state,
                                                                   FMOD_SPEAKERMODE sourceSpeakerMode, float pan,
                                                                   float lowFrequencyGain, float overallGain,
                                                                   int matrixHop, float* matrix);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_PAN_SUMSURROUNDMATRIX_FUNC)(
    FMOD_DSP_STATE* dsp_state, FMOD_SPEAKERMODE sourceSpeakerMode, FMOD_SPEAKERMODE targetSpeakerMode,
    float direction, float extent, float rotation, float lowFrequencyGain, float overallGain, int matrixHop,
    float* matrix, FMOD_DSP_PAN_SURROUND_FLAGS flags);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_PAN_SUMMONOTOSURROUNDMATRIX_FUNC)(
    FMOD_DSP_STATE* dsp_state, FMOD_SPEAKERMODE targetSpeakerMode, float direction, float extent,
    float lowFrequencyGain, float overallGain, int matrixHop, float* matrix);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_PAN_SUMSTEREOTOSURROUNDMATRIX_FUNC)(
    FMOD_DSP_STATE* dsp_state, FMOD_SPEAKERMODE targetSpeakerMode, float direction, float extent, float rotation,
    float lowFrequencyGain, float overallGain, int matrixHop, float* matrix);
typedef FMOD_RESULT(F_CALLBACK* FMOD_DSP_PAN_GETROLLOFFGAIN_FUNC)(FMOD_DSP_STATE* dsp_state,
                                                                  FMOD_DSP_PAN_3D_ROLLOFF_TYPE rolloff,
                                                                  float distance, float mindistance,
                                                                  float maxdistance, float* gain);

// Description of a DSP plugin, registered with System::registerDSP.
struct FMOD_DSP_DESCRIPTION {
  unsigned int pluginsdkversion;
  char name[32];
  unsigned int version;
  int numinputbuffers;
  int numoutputbuffers;
  FMOD_DSP_CREATE_CALLBACK create;
  FMOD_DSP_RELEASE_CALLBACK release;
  FMOD_DSP_RESET_CALLBACK reset;
  FMOD_DSP_READ_CALLBACK read;
  FMOD_DSP_PROCESS_CALLBACK process;
  FMOD_DSP_SETPOSITION_CALLBACK setposition;
  int numparameters;
  FMOD_DSP_PARAMETER_DESC** paramdesc;
  FMOD_DSP_SETPARAM_FLOAT_CALLBACK setparameterfloat;
  FMOD_DSP_SETPARAM_INT_CALLBACK setparameterint;
  FMOD_DSP_SETPARAM_BOOL_CALLBACK setparameterbool;
  FMOD_DSP_SETPARAM_DATA_CALLBACK setparameterdata;
  FMOD_DSP_GETPARAM_FLOAT_CALLBACK getparameterfloat;
  FMOD_DSP_GETPARAM_INT_CALLBACK getparameterint;
  FMOD_DSP_GETPARAM_BOOL_CALLBACK getparameterbool;
  FMOD_DSP_GETPARAM_DATA_CALLBACK getparameterdata;
  FMOD_DSP_SHOULDIPROCESS_CALLBACK shouldiprocess;
  void* userdata;
  FMOD_DSP_SYSTEM_REGISTER_CALLBACK sys_register;
  FMOD_DSP_SYSTEM_DEREGISTER_CALLBACK sys_deregister;
  FMOD_DSP_SYSTEM_MIX_CALLBACK sys_mix;
};

// Tables of helper functions.
struct FMOD_DSP_STATE_DFT_FUNCTIONS {
  FMOD_DSP_DFT_FFTREAL_FUNC fftreal;
  FMOD_DSP_DFT_IFFTREAL_FUNC inversefftreal;
};

struct FMOD_DSP_STATE_PAN_FUNCTIONS {
  FMOD_DSP_PAN_SUMMONOMATRIX_FUNC summonomatrix;
  FMOD_DSP_PAN_SUMSTEREOMATRIX_FUNC sumstereomatrix;
  FMOD_DSP_PAN_SUMSURROUNDMATRIX_FUNC sumsurroundmatrix;
  FMOD_DSP_PAN_SUMMONOTOSURROUNDMATRIX_FUNC summonotosurroundmatrix;
  FMOD_DSP_PAN_SUMSTEREOTOSURROUNDMATRIX_FUNC sumstereotosurroundmatrix;
  FMOD_DSP_PAN_GETROLLOFFGAIN_FUNC getrolloffgain;
};

struct FMOD_DSP_STATE_FUNCTIONS {
  FMOD_DSP_ALLOC_FUNC alloc;
  FMOD_DSP_REALLOC_FUNC realloc;
  FMOD_DSP_FREE_FUNC free;
  FMOD_DSP_GETSAMPLERATE_FUNC getsamplerate;
  FMOD_DSP_GETBLOCKSIZE_FUNC getblocksize;
  FMOD_DSP_STATE_DFT_FUNCTIONS* dft;
  FMOD_DSP_STATE_PAN_FUNCTIONS* pan;
  FMOD_DSP_GETSPEAKERMODE_FUNC getspeakermode;
  FMOD_DSP_GETCLOCK_FUNC getclock;
  FMOD_DSP_GETLISTENERATTRIBUTES_FUNC getlistenerattributes;
  FMOD_DSP_LOG_FUNC log;
  FMOD_DSP_GETUSERDATA_FUNC getuserdata;
};

// The state the engine passes to every callback of one DSP instance.
struct FMOD_DSP_STATE {
  void* instance;
  void* plugindata;
  FMOD_CHANNELMASK channelmask;
  FMOD_SPEAKERMODE source_speakermode;
  float* sidechaindata;
  int sidechainchannels;
  FMOD_DSP_STATE_FUNCTIONS* functions;
  int systemobject;
};

// The buffers handed to the process callback.
struct FMOD_DSP_BUFFER_ARRAY {
  int numbuffers;
  int* buffernumchannels;
  FMOD_CHANNELMASK* bufferchannelmask;
  float** buffers;
  FMOD_SPEAKERMODE speakermode;
};

// Peak and RMS levels reported by DSP::getMeteringInfo.
struct FMOD_DSP_METERING_INFO {
  int numsamples;
  float peaklevel[32];
  float rmslevel[32];
  short numchannels;
};

#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(FMOD_DSP_DESCRIPTION) == 216, "FMOD_DSP_DESCRIPTION layout");
#endif
